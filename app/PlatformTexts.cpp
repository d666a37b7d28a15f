#include "PlatformTexts.h"

namespace platformtext {

std::string Usage(bool windows)
{
    const std::string text =
        "Usage: quorvel [--help] [--version] [Qt options]\n"
        "\n"
        "The Quorvel service window for WZM weighing modules on a PROFIBUS DP\n"
        "network: the PC acts as DP master station 0 on a serial port (19200 baud,\n"
        "8E1), shows each module's live values and offers the module's commands.\n"
        "\n"
        "  --help       show this text\n"
        "  --version    show the version\n"
        "\n"
        "Qt's standard options are accepted as well, for example -platform offscreen\n"
        "or -style Fusion.\n"
        "\n"
        "The parameter pages are described by Quorvel.conf, read from the current\n"
        "folder, else beside the program";
    if (windows) return text + ".\n\nPorts are the COM ports Windows lists (Device Manager, \"Ports (COM & LPT)\").\n";
    return text +
           ", else the installed copy\n"
           "  " QUORVEL_INSTALLED_CONF
           "\n"
           "Opening a serial device needs membership in the dialout group.\n";
}

std::string NoPortAdvice(bool windows)
{
    const std::string remedy =
        windows ? "- If it is connected, look for it in Device Manager under \"Ports (COM & LPT)\": its COM number is "
                  "the port to type into the PORT box. An adapter shown with a warning sign needs its driver.\n"
                : "- If it is connected, your user may not use serial ports: add it to the group dialout "
                  "(sudo adduser $USER dialout) and log in again.\n"
                  "- To try the window without a slave, start the simulator quorvel-slave in a terminal.\n";
    return "No serial port was found.\n\n- Connect the RS-485 adapter and wait a moment.\n" + remedy +
           "\nThen look again.";
}

}  // namespace platformtext
