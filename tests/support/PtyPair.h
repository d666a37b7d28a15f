// A pseudo-terminal pair for tests: `path` is the device the code under test
// opens; `master` is the far side the test reads and writes. Raw mode, so
// bytes pass unchanged.
#pragma once

#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>

struct PtyPair {
    int master = -1;
    int keepSlave = -1;  // held open so the line never hangs up between opens
    std::string path;

    PtyPair()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            throw std::runtime_error("cannot open a pseudo-terminal");
        path = ptsname(master);
        keepSlave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        tcgetattr(keepSlave, &t);
        cfmakeraw(&t);
        tcsetattr(keepSlave, TCSANOW, &t);
    }
    ~PtyPair()
    {
        CloseMaster();
        if (keepSlave >= 0) close(keepSlave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    void CloseMaster()
    {
        if (master >= 0) {
            close(master);
            master = -1;
        }
    }
};
