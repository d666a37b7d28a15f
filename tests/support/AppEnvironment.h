// What the window's tests, benches and screenshot tools run in: a private
// port folder and an empty sysfs tree (so no real serial device is touched),
// a work folder with the shipped Quorvel.conf as current directory, and
// quorvel-slave as a child process. Needs QUORVEL_CONF_FILE and
// QUORVEL_SLAVE_EXE from the build.
#pragma once

#include "ChildProcess.h"
#include "LinkedPorts.h"

#include <csignal>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Port folder (QUORVEL_PORT_DIR), sysfs root (QUORVEL_SYSFS_ROOT) and work/
// with Quorvel.conf, which becomes the current directory.
class TTempTree {
public:
    explicit TTempTree(bool withConfig = true)
    {
        ports_.Folder().MakeFolder("work");
        if (withConfig) std::filesystem::copy_file(QUORVEL_CONF_FILE, Work() / "Quorvel.conf");
        oldCwd_ = std::filesystem::current_path();
        std::filesystem::current_path(Work());
    }
    ~TTempTree()
    {
        std::error_code ec;
        std::filesystem::current_path(oldCwd_, ec);
    }
    TTempTree(const TTempTree&) = delete;
    TTempTree& operator=(const TTempTree&) = delete;

    std::filesystem::path Work() const { return ports_.Folder().path / "work"; }
    void Link(int com, const std::string& device) const { ports_.Link(com, device); }

private:
    LinkedPorts ports_;
    std::filesystem::path oldCwd_;
};

// quorvel-slave serving `modules` modules as COM<com> in the port folder.
class TSlaveProcess {
public:
    TSlaveProcess(int modules, int com = 2) { Start(modules, com); }
    ~TSlaveProcess() { Stop(SIGTERM); }
    TSlaveProcess(const TSlaveProcess&) = delete;
    TSlaveProcess& operator=(const TSlaveProcess&) = delete;

    // Returns once the simulator has put its COM link in place.
    void Start(int modules, int com)
    {
        process_ = std::make_unique<ChildProcess>(QUORVEL_SLAVE_EXE, std::vector<std::string>{
            "--modules", std::to_string(modules), "--com", std::to_string(com), "--replace", "--quiet"});
        const std::string said = process_->WaitForOutput("registered");
        if (said.find("registered") == std::string::npos)
            throw std::runtime_error("quorvel-slave did not start: " + said + process_->Errors());
    }
    // Ends the simulator (SIGKILL stands for a crash).
    void Stop(int signal)
    {
        if (process_) process_->Stop(signal);
        process_.reset();
    }

private:
    std::unique_ptr<ChildProcess> process_;
};
