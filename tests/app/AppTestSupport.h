// What the window tests share: a private port directory and an empty sysfs
// tree (so no real serial device is touched), a work folder with the shipped
// Quorvel.conf as current directory, waiting on the Qt event loop, and
// quorvel-slave as a child process.
#pragma once

#include "PtyPair.h"
#include "SlaveProcess.h"

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
#include <memory>
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

    // Returns once the simulator has put its COM link in place.
    void Start(int modules, int com)
    {
        process_ = std::make_unique<simtest::SlaveProcess>(std::vector<std::string>{
            "--modules", std::to_string(modules), "--com", std::to_string(com), "--replace", "--quiet", "--instant"});
        const std::string said = process_->WaitForOutput("registered");
        if (said.find("registered") == std::string::npos)
            throw std::runtime_error("quorvel-slave did not start: " + said + process_->ErrorOutput());
    }
    // Ends the simulator (SIGKILL stands for a crash).
    void Stop(int signal)
    {
        if (process_) process_->Stop(signal);
        process_.reset();
    }

private:
    std::unique_ptr<simtest::SlaveProcess> process_;
};

}  // namespace apptest
