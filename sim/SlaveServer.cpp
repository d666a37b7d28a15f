#include "SlaveServer.h"

#include "fdl/Framing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int BitsPerChar = 11;  // start, 8 data, parity, stop
constexpr auto SplitGap = Millis(30);
constexpr auto LateDelay = Millis(150);
constexpr auto StrayGap = Millis(25);  // stray bytes come alone, after the answer
constexpr std::size_t NoiseBytes = 20;

// The baud of a termios speed; 19200 for one not listed.
long Baud(speed_t speed)
{
    const struct {
        speed_t code;
        long baud;
    } speeds[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
                  {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
                  {B230400, 230400}, {B460800, 460800}, {B500000, 500000}, {B1500000, 1500000}};
    for (const auto& s : speeds)
        if (s.code == speed) return s.baud;
    return 19200;
}

std::string TimeStamp()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<Millis>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d UTC", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return text;
}

}  // namespace

TSlaveServer::TSlaveServer(std::vector<TSlaveStation*> stations, int lineFd, LogFn log, TLineOptions line, LogFn report)
    : stations_(std::move(stations)),
      fd_(lineFd),
      log_(std::move(log)),
      line_(std::move(line)),
      report_(std::move(report)),
      random_(line_.seed ? line_.seed : 1)
{
}

std::optional<SimTime> TSlaveServer::NextWake() const
{
    std::optional<SimTime> next;
    for (const TSlaveStation* station : stations_)
        if (const auto watchdog = station->Dp().WatchdogDeadline(); watchdog && (!next || *watchdog < *next))
            next = watchdog;
    if (const auto partial = parser_.PartialDeadline(); partial && (!next || *partial < *next)) next = partial;
    // One millisecond past a deadline, so that it has passed on waking.
    if (next) *next += Millis(1);
    if (const auto due = output_.NextDue(); due && (!next || *due < *next)) next = due;
    return next;
}

int TSlaveServer::Run(int stopFd)
{
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
        timespec wait{};
        const auto wake = NextWake();
        if (wake) {
            const auto left = std::clamp<SimClock::duration>(*wake - SimClock::now(), SimClock::duration::zero(),
                                                             std::chrono::seconds(60));
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        }
        const int ready = ppoll(fds, 2, wake ? &wait : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            log_(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (fds[1].revents) return 0;
        const SimTime now = SimClock::now();
        if (fds[0].revents & POLLIN) {
            if (!ReadLine(now)) return 1;
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // A hung-up descriptor reports readiness forever: stop instead of spinning.
            log_("the line was hung up");
            return 1;
        }
        for (TSlaveStation* station : stations_) station->Dp().CheckWatchdog(now);
        parser_.Expire(now);
        output_.WriteDue(fd_, SimClock::now());
    }
}

bool TSlaveServer::ReadLine(SimTime now)
{
    std::uint8_t buffer[512];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n <= 0) {
        log_(n == 0 ? std::string("the line was hung up")
                    : std::string("reading the line failed: ") + std::strerror(errno));
        return false;
    }
    for (const TRequest& request : parser_.Feed(buffer, static_cast<std::size_t>(n), now)) {
        ++requests_;
        for (TSlaveStation* station : stations_)
            if (auto reply = station->Dp().Handle(request, now)) Answer(*station, request, std::move(*reply), now);
    }
    return true;
}

SimClock::duration TSlaveServer::BitTime() const
{
    termios t{};
    const long baud = tcgetattr(fd_, &t) == 0 ? Baud(cfgetospeed(&t)) : 19200;
    return std::chrono::duration_cast<SimClock::duration>(std::chrono::nanoseconds(1000000000LL / baud));
}

void TSlaveServer::Answer(const TSlaveStation& station, const TRequest& request, TByteString reply, SimTime now)
{
    if (now < silentUntil_) return;
    const auto bit = line_.instant ? SimClock::duration::zero() : BitTime();
    const auto character = bit * BitsPerChar;
    // The request's own time on the line has passed when its last byte is
    // here only on a real line; the pseudo-terminal brings it at once.
    SimTime start = now + character * static_cast<long>(request.length) + bit * station.Dp().MinTsdrBits();
    bool split = false;
    TByteString stray;
    const bool dataExchange = !request.dsap && !reply.empty() && reply[0] == fdl::SD2;
    if (dataExchange && !InjectFaults(reply, start, split, stray, now)) return;
    SimTime end = start;
    if (split) {
        const std::size_t half = reply.size() / 2;
        end = output_.Send(reply.Mid(0, half), start, character);
        end = output_.Send(reply.Mid(half, reply.size() - half), end + SplitGap, character);
    } else {
        end = output_.Send(reply, start, character);
    }
    if (!stray.empty()) output_.Send(stray, end + StrayGap, character);
}

bool TSlaveServer::InjectFaults(TByteString& reply, SimTime& start, bool& split, TByteString& stray, SimTime now)
{
    ++answers_;
    bool send = true;
    for (const TFault& fault : line_.faults) {
        if (!fault.Hits(answers_)) continue;
        std::string what = std::string("fault ") + FaultName(fault.kind);
        switch (fault.kind) {
        case TFaultKind::Fcs: reply[reply.size() - 2] ^= 0xFF; break;
        case TFaultKind::Length: reply[2] = static_cast<std::uint8_t>(reply[1] + 1); break;
        case TFaultKind::Noise: stray += Noise(NoiseBytes); break;
        case TFaultKind::Sd1Noise: {
            TByteString bytes = TByteString{fdl::SD1} + Noise(5);
            if (fdl::Cut(bytes.data(), bytes.size()).kind == fdl::TCutKind::Complete)
                bytes[5] ^= 0xFF;  // stray bytes, never a telegram
            stray += bytes;
            break;
        }
        case TFaultKind::Split: split = true; break;
        case TFaultKind::Late: start += LateDelay; break;
        case TFaultKind::Drop: send = false; break;
        case TFaultKind::Silence:
            silentUntil_ = now + std::chrono::seconds(fault.seconds);
            send = false;
            what += " for " + std::to_string(fault.seconds) + " s";
            break;
        }
        if (report_) report_(TimeStamp() + " " + what + " on Data_Exchange answer " + std::to_string(answers_));
    }
    return send;
}

TByteString TSlaveServer::Noise(std::size_t count)
{
    TByteString bytes;
    for (std::size_t i = 0; i < count; ++i) bytes.Append(static_cast<std::uint8_t>(random_() & 0xFF));
    return bytes;
}

}  // namespace sim
