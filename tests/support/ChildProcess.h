// A program run as a child process for end-to-end tests and benches: its
// standard output is collected as text and line by line with the time each
// line arrived, its standard error as text. The child is killed if the test
// ends first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;
    struct Line {
        Clock::duration at;  // since the start
        std::string text;
    };

    ChildProcess(const std::string& program, const std::vector<std::string>& args) : start_(Clock::now())
    {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        outReader_ = std::thread([this, fd = out[0]] { Collect(fd, true); });
        errReader_ = std::thread([this, fd = err[0]] { Collect(fd, false); });
    }
    ~ChildProcess()
    {
        if (!exitCode_) {
            Signal(SIGKILL);
            Wait(std::chrono::seconds(5));
        }
        if (outReader_.joinable()) outReader_.join();
        if (errReader_.joinable()) errReader_.join();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signal) const
    {
        if (!exitCode_) kill(pid_, signal);
    }

    // The exit status (128 + signal number for a killed child), or nothing
    // when it is still running after `limit`.
    std::optional<int> Wait(Clock::duration limit)
    {
        const auto end = Clock::now() + limit;
        while (!exitCode_) {
            int status = 0;
            const pid_t r = wait4(pid_, &status, WNOHANG, &usage_);
            if (r == pid_) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (Clock::now() > end) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // All output is in once the child has gone.
        if (outReader_.joinable()) outReader_.join();
        if (errReader_.joinable()) errReader_.join();
        return exitCode_;
    }

    // Waits for the exit with no limit; the exit status as above.
    int Wait() { return Wait(std::chrono::hours(1)).value_or(-1); }
    // Sends `signal` and waits for the exit; the exit status as above.
    int Stop(int signal = SIGTERM)
    {
        Signal(signal);
        return Wait();
    }

    // CPU time the child used (user and system), once it has been waited for.
    std::chrono::duration<double> CpuTime() const
    {
        const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
        return std::chrono::duration<double>(seconds(usage_.ru_utime) + seconds(usage_.ru_stime));
    }

    // Waits for a line of standard output after line number `from` that is
    // `text`, or starts with it when `prefix`; returns its index.
    std::optional<std::size_t> WaitForLine(const std::string& text, Clock::duration limit, std::size_t from = 0,
                                           bool prefix = false)
    {
        std::unique_lock lock(mutex_);
        std::optional<std::size_t> found;
        changed_.wait_for(lock, limit, [&] {
            for (std::size_t i = from; i < lines_.size(); ++i)
                if (prefix ? lines_[i].text.rfind(text, 0) == 0 : lines_[i].text == text) return (found = i), true;
            return outClosed_;
        });
        return found;
    }

    // All standard output once it holds `text`, or what came within `limit`.
    std::string WaitForOutput(const std::string& text, Clock::duration limit = std::chrono::seconds(5))
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit, [&] { return output_.find(text) != std::string::npos || outClosed_; });
        return output_;
    }

    std::string Output() const
    {
        std::lock_guard lock(mutex_);
        return output_;
    }
    std::vector<Line> Lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::string Errors() const
    {
        std::lock_guard lock(mutex_);
        return errors_;
    }

private:
    void Collect(int fd, bool isOut)
    {
        std::string partial;
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            const auto now = Clock::now() - start_;
            std::lock_guard lock(mutex_);
            if (!isOut) {
                errors_.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            output_.append(buffer, static_cast<std::size_t>(n));
            partial.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t nl; (nl = partial.find('\n')) != std::string::npos; partial.erase(0, nl + 1))
                lines_.push_back({now, partial.substr(0, nl)});
            changed_.notify_all();
        }
        close(fd);
        std::lock_guard lock(mutex_);
        if (isOut) outClosed_ = true;
        changed_.notify_all();
    }

    Clock::time_point start_;
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
    rusage usage_{};
    std::thread outReader_;
    std::thread errReader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Line> lines_;
    std::string output_;
    std::string errors_;
    bool outClosed_ = false;
};

// The program's path on $PATH, or empty when it is not installed.
inline std::string FindProgram(const std::string& name)
{
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(path, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}
