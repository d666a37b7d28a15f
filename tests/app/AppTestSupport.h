// What the window tests share: a private port directory and an empty sysfs
// tree (so no real serial device is touched), a work folder with the shipped
// Quorvel.conf as current directory, waiting on the Qt event loop, and
// quorvel-slave as a child process.
#pragma once

#include "PtyPair.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace apptest {

namespace fs = std::filesystem;

// Runs the event loop for `ms` milliseconds.
inline void Pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds or `ms` have passed; returns done().
inline bool WaitFor(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        Pump(5);
    }
    return true;
}

// The error box on screen (closes it when `close`), or its text "" when none.
inline QString ErrorBoxText(bool close = true)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible()) continue;
        const QString text = box->text();
        if (close) box->close();
        return text;
    }
    return {};
}

inline void CloseAllBoxes()
{
    while (!ErrorBoxText(true).isEmpty()) {}
    Pump(1);
}

// The user picks item `index` of a combo box from its list.
inline void Choose(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// The user types `text` into an editable combo box and presses Enter.
inline void TypeAndEnter(QComboBox* combo, const QString& text)
{
    combo->lineEdit()->setText(text);
    emit combo->lineEdit()->editingFinished();
}

// A temporary tree: ports/ (QUORVEL_PORT_DIR), sysfs/ (QUORVEL_SYSFS_ROOT)
// and work/ with Quorvel.conf, which becomes the current directory.
class TTempTree {
public:
    explicit TTempTree(bool withConfig = true)
    {
        char pattern[] = "/tmp/quorvel-apptest-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        fs::create_directories(Ports());
        fs::permissions(Ports(), fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(root_ / "sysfs" / "class" / "tty");
        fs::create_directories(Work());
        if (withConfig) fs::copy_file(QUORVEL_CONF_FILE, Work() / "Quorvel.conf");
        setenv("QUORVEL_PORT_DIR", Ports().c_str(), 1);
        setenv("QUORVEL_SYSFS_ROOT", (root_ / "sysfs").c_str(), 1);
        oldCwd_ = fs::current_path();
        fs::current_path(Work());
    }
    ~TTempTree()
    {
        std::error_code ec;
        fs::current_path(oldCwd_, ec);
        fs::remove_all(root_, ec);
    }
    TTempTree(const TTempTree&) = delete;
    TTempTree& operator=(const TTempTree&) = delete;

    fs::path Ports() const { return root_ / "ports"; }
    fs::path Work() const { return root_ / "work"; }
    void Link(int com, const std::string& device) const
    {
        fs::create_symlink(device, Ports() / ("COM" + std::to_string(com)));
    }

private:
    fs::path root_;
    fs::path oldCwd_;
};

// Bytes waiting on the far side of a pseudo-terminal, read without waiting.
inline std::string Drain(int fd)
{
    std::string got;
    char buf[512];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) break;
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

// quorvel-slave serving `modules` modules as COM<com> in the port directory.
class TSlaveProcess {
public:
    TSlaveProcess(int modules, int com = 2) { Start(modules, com); }
    ~TSlaveProcess() { Stop(SIGTERM); }
    TSlaveProcess(const TSlaveProcess&) = delete;
    TSlaveProcess& operator=(const TSlaveProcess&) = delete;

    void Start(int modules, int com)
    {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe failed");
        const std::string modulesArg = std::to_string(modules);
        const std::string comArg = std::to_string(com);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(QUORVEL_SLAVE_PATH, QUORVEL_SLAVE_PATH, "--modules", modulesArg.c_str(), "--com", comArg.c_str(),
                  "--replace", "--quiet", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        // The simulator says when its link is in place.
        std::string said;
        char buf[256];
        for (;;) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) break;
            const ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            said.append(buf, static_cast<std::size_t>(n));
            if (said.find("registered") != std::string::npos) break;
        }
        output_ = out[0];  // kept open, so the simulator's last words find a reader
        if (said.find("registered") == std::string::npos) throw std::runtime_error("quorvel-slave did not start: " + said);
    }

    // Ends the simulator (SIGKILL stands for a crash) and reaps it.
    void Stop(int signal)
    {
        if (pid_ <= 0) return;
        kill(pid_, signal);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        pid_ = -1;
        if (output_ >= 0) close(output_);
        output_ = -1;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

}  // namespace apptest
