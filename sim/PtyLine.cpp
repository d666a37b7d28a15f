#include "PtyLine.h"

#include "PtyBaud.h"

#include "base/ComName.h"
#include "serial/PortDirectory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

std::runtime_error SystemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// The target of a symbolic link, or empty.
std::string LinkTarget(const std::string& path)
{
    char buffer[4096];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

TPtyLine::TPtyLine(long baud)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0) throw SystemError("cannot open a pseudo-terminal");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        const auto error = SystemError("cannot unlock the pseudo-terminal");
        close(master_);
        throw error;
    }
    device_ = ptsname(master_);
    keepOpen_ = open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keepOpen_ < 0) {
        const auto error = SystemError("cannot open " + device_);
        close(master_);
        throw error;
    }
    // Raw line: no echo, no line editing, all 256 byte values pass. EXTPROC
    // makes n_tty pass the simulator's bytes on as written whatever input
    // modes the program sets, so that the simulator can deliver what a
    // serial driver would (ReaderBytes.h).
    termios t{};
    tcgetattr(keepOpen_, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD | PARENB;
    t.c_lflag |= EXTPROC;
    cfsetspeed(&t, B19200);
    tcsetattr(keepOpen_, TCSANOW, &t);
    SetPtyBaud(keepOpen_, baud);
}

TPtyLine::~TPtyLine()
{
    close(keepOpen_);
    close(master_);
}

TComLink::TComLink(int com, const std::string& device, bool replace) : device_(device)
{
    std::string message;
    if (!portdir::Ensure(message)) throw std::runtime_error(message);
    path_ = portdir::LinkPath(com);
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) {
        const std::string name = ComName(com);
        if (!S_ISLNK(st.st_mode))
            throw std::runtime_error(path_ + " exists and is not a link; it is left alone. Choose another --com");
        const std::string target = LinkTarget(path_);
        struct stat targetStat {};
        const bool live = stat(path_.c_str(), &targetStat) == 0;
        if (live && !replace)
            throw std::runtime_error(name + " is already registered for " + target +
                                     " (another simulator?). Choose another --com, or --replace to take it over");
        if (unlink(path_.c_str()) != 0) throw SystemError("cannot remove the old link " + path_);
    }
    if (symlink(device_.c_str(), path_.c_str()) != 0) throw SystemError("cannot create the link " + path_);
}

TComLink::~TComLink()
{
    if (LinkTarget(path_) == device_) unlink(path_.c_str());
}

}  // namespace sim
