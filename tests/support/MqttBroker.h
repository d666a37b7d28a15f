// A broker of its own for one test: the system's mosquitto on a free
// loopback port, with a configuration the test writes (never the machine's
// broker or a fixed port), and mosquitto_sub as a subscriber that prints
// "topic payload" lines.
#pragma once

#include "ChildProcess.h"
#include "TempFolder.h"
#include "WaitUntil.h"

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// A loopback port nothing listens on now (the kernel's choice).
inline int FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

inline std::string MqttProgram(const std::string& name)
{
    const std::string found = FindProgram(name);
    return found.empty() ? "/usr/sbin/" + name : found;
}

class MqttBroker {
public:
    // `listener` is the configuration after the port's "listener" line
    // (TLS files, a password file); anonymous clients are allowed otherwise.
    MqttBroker(const TempFolder& folder, std::string listener = "allow_anonymous true\n")
        : folder_(folder), port_(FreeLoopbackPort()), listener_(std::move(listener))
    {
        Start();
    }

    int Port() const { return port_; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    // A second, plain listener for subscribers beside a TLS one.
    int PlainPort() const { return plainPort_; }

    void Start()
    {
        const std::string conf = "broker-" + std::to_string(port_) + ".conf";
        // Started by root, the broker would become the user "mosquitto", who cannot read the test's files.
        const passwd* user = getpwuid(geteuid());
        folder_.Write(conf, "user " + std::string(user ? user->pw_name : "root") +
                                "\nper_listener_settings true\npersistence false\nlog_dest stderr\nlistener " +
                                std::to_string(plainPort_) + " 127.0.0.1\nallow_anonymous true\nlistener " +
                                std::to_string(port_) + " 127.0.0.1\n" + listener_);
        process_ = std::make_unique<ChildProcess>(MqttProgram("mosquitto"),
                                                  std::vector<std::string>{"-c", (folder_.path / conf).string()});
        WaitUntil([&] { return process_->Errors().find(" running") != std::string::npos; }, std::chrono::seconds(10));
    }
    void Stop() { process_->Stop(SIGTERM); }
    std::string Log() const { return process_->Errors(); }

    // mosquitto_sub on the plain listener, "topic payload" a line.
    std::unique_ptr<ChildProcess> Subscribe(const std::string& filter) const
    {
        return std::make_unique<ChildProcess>(
            MqttProgram("mosquitto_sub"),
            std::vector<std::string>{"-h", "127.0.0.1", "-p", std::to_string(plainPort_), "-v", "-t", filter});
    }

private:
    const TempFolder& folder_;
    const int port_;
    const int plainPort_ = FreeLoopbackPort();
    const std::string listener_;
    std::unique_ptr<ChildProcess> process_;
};
