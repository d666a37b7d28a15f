// Runs the real quorvel-slave as a child process with its output captured,
// and talks to it through its COM link like the program does.
#pragma once

#include "serial/ByteString.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace simtest {

// Reads what is available on `fd` within `timeout`, stopping early once
// `until` bytes arrived (0: wait the whole time).
inline std::string ReadFor(int fd, std::chrono::milliseconds timeout, std::size_t until = 0)
{
    std::string text;
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (until && text.size() >= until)) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[1024];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

class SlaveProcess {
public:
    explicit SlaveProcess(const std::vector<std::string>& args)
    {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all{QUORVEL_SLAVE_EXE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, QUORVEL_SLAVE_EXE, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
        if (rc != 0) throw std::runtime_error("cannot start quorvel-slave");
    }
    ~SlaveProcess()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }
    SlaveProcess(const SlaveProcess&) = delete;
    SlaveProcess& operator=(const SlaveProcess&) = delete;

    // Standard output until it holds `text` (or the time is up).
    std::string WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (output_.find(text) == std::string::npos && std::chrono::steady_clock::now() < end)
            output_ += ReadFor(out_, std::chrono::milliseconds(50));
        return output_;
    }
    std::string ErrorOutput() { return ReadFor(err_, std::chrono::milliseconds(200)); }

    // Sends `signal` and waits for the exit; returns the exit code (-1 if killed).
    int Stop(int signal = SIGTERM)
    {
        if (pid_ > 0) kill(pid_, signal);
        return Wait();
    }
    int Wait()
    {
        int status = 0;
        rusage usage{};
        if (wait4(pid_, &status, 0, &usage) != pid_) return -1;
        pid_ = -1;
        cpuSeconds_ = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        output_ += ReadFor(out_, std::chrono::milliseconds(100));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    double CpuSeconds() const { return cpuSeconds_; }
    const std::string& Output() const { return output_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string output_;
    double cpuSeconds_ = 0;
};

// The program's end of the line: the COM link opened raw.
class ComPort {
public:
    explicit ComPort(const std::string& path)
    {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        tcflush(fd_, TCIOFLUSH);
    }
    ~ComPort() { close(fd_); }
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    // Writes a request and collects the reply (`expected` bytes, or what came in 150 ms).
    TByteString Transact(const TByteString& request, std::size_t expected = 0)
    {
        if (write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            throw std::runtime_error("write failed");
        const std::string reply = ReadFor(fd_, std::chrono::milliseconds(150), expected);
        return TByteString(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size());
    }

private:
    int fd_ = -1;
};

}  // namespace simtest
