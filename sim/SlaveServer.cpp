#include "SlaveServer.h"

#include "ReaderBytes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int BitsPerChar = 11;  // start, 8 data, parity, stop
constexpr auto SplitGap = Millis(30);
constexpr auto StrayGap = Millis(25);  // stray bytes come alone, after the answer

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
      bus_(TUsbAdapter(line_.adapterLatency, SimClock::now(), line_.seed), line_.seed),
      random_(line_.seed ? line_.seed : 1)
{
}

std::optional<SimTime> TSlaveServer::NextWake() const
{
    std::optional<SimTime> next;
    const auto earlier = [&](std::optional<SimTime> t) {
        if (t && (!next || *t < *next)) next = t;
    };
    for (const TSlaveStation* station : stations_) earlier(station->Dp().WatchdogDeadline());
    earlier(parser_.PartialDeadline());
    for (const TLineTap* tap : taps_) earlier(tap->NextDue());
    if (plant_) earlier(plant_->NextDue());
    // One millisecond past a deadline, so that it has passed on waking.
    if (next) *next += Millis(1);
    earlier(bus_.NextDue());
    return next;
}

int TSlaveServer::Run(int stopFd, const std::vector<TWatch>& watches)
{
    std::vector<pollfd> fds = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (const TLineTap* tap : taps_) fds.push_back({tap->Fd(), POLLIN, 0});
    const std::size_t firstWatch = fds.size();
    for (const TWatch& watch : watches) fds.push_back({watch.fd, POLLIN, 0});
    for (;;) {
        for (pollfd& p : fds) p.revents = 0;
        timespec wait{};
        const auto wake = NextWake();
        if (wake) {
            const auto left = std::clamp<SimClock::duration>(*wake - SimClock::now(), SimClock::duration::zero(),
                                                             std::chrono::seconds(60));
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        }
        const int ready = ppoll(fds.data(), fds.size(), wake ? &wait : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            log_(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (fds[1].revents) return 0;
        for (std::size_t i = 0; i < watches.size(); ++i)
            if (fds[firstWatch + i].revents && watches[i].ready) watches[i].ready();
        const SimTime now = SimClock::now();
        for (std::size_t i = 0; i < taps_.size(); ++i)
            if (fds[2 + i].revents & POLLIN) ReadTap(*taps_[i], now);
        if (fds[0].revents & POLLIN) {
            if (!ReadLine(now)) return 1;
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // A hung-up descriptor reports readiness forever: stop instead of spinning.
            log_("the line was hung up");
            return 1;
        }
        for (TSlaveStation* station : stations_) station->Dp().CheckWatchdog(now);
        parser_.Expire(now);
        Step(SimClock::now());
    }
}

SimClock::duration TSlaveServer::BitTime() const
{
    return std::chrono::duration_cast<SimClock::duration>(std::chrono::nanoseconds(1000000000LL / line_.baud));
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
    const auto character = line_.instant ? SimClock::duration::zero() : BitTime() * BitsPerChar;
    bus_.FromMaster(buffer, static_cast<std::size_t>(n), now, character);
    return true;
}

void TSlaveServer::ReadTap(TLineTap& tap, SimTime now)
{
    const std::vector<std::uint8_t> bytes = tap.TakeWritten();
    stats_.tapWritten += static_cast<long long>(bytes.size());
    const auto character = line_.instant ? SimClock::duration::zero() : BitTime() * BitsPerChar;
    bus_.OntoLine(bytes.data(), bytes.size(), now, character);
}

void TSlaveServer::Step(SimTime now)
{
    // Answers queued here may be due at once (instant): go round until the
    // stations have heard nothing new.
    for (bool heard = true; heard;) {
        TBusLine::TStep step = bus_.Advance(now);
        for (const auto& c : step.collisions) {
            ++stats_.collisions;
            Report("collision: the master sent while station " + std::to_string(c.station) + " answered; its " +
                   std::to_string(c.length) + "-byte answer is garbled from byte " + std::to_string(c.first + 1) +
                   " on");
        }
        for (const auto idle : step.unsynced) {
            ++stats_.sync;
            char text[120];
            std::snprintf(text, sizeof text,
                          "request not heard: it started %.2f ms after the line went idle, less than 33 bit times",
                          std::chrono::duration<double, std::milli>(idle).count());
            Report(text);
        }
        WriteToMaster(step.toMaster, step.bad);
        for (TLineTap* tap : taps_) {
            tap->Hear(step.driven);
            tap->Hear(step.offLine);
            tap->Deliver(now);
        }
        heard = !step.heard.empty();
        if (plant_) {
            plant_->LineUsed(step.driven);
            plant_->Hear(step.offLine);
            if (const auto telegram = plant_->Poll(now)) {
                bus_.OntoLine(telegram->data(), telegram->size(), now, BitTime() * BitsPerChar);
                heard = true;  // it goes onto the line on the next round
            }
            stats_.plantRequests = plant_->Requests();
            stats_.plantExchanges = plant_->Exchanges();
        }
        for (const TBusLine::THeard& h : step.heard)
            for (const TRequest& request : parser_.Feed(h.bytes.data(), h.bytes.size(), h.end)) {
                ++stats_.requests;
                for (TSlaveStation* station : stations_)
                    if (auto reply = station->Dp().Handle(request, now))
                        Answer(*station, request, std::move(*reply), h.end, now);
            }
    }
}

void TSlaveServer::WriteToMaster(const std::vector<std::uint8_t>& line, const std::vector<std::size_t>& bad)
{
    if (line.empty()) return;
    const std::vector<std::uint8_t> bytes = ForReader(line, bad, ReaderModes(fd_));
    // Bytes the master's side does not take (nobody reads) are lost, as on a real line.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void TSlaveServer::Report(const std::string& what)
{
    if (report_) report_(TimeStamp() + " " + what);
}

void TSlaveServer::Answer(const TSlaveStation& station, const TRequest& request, TByteString reply, SimTime requestEnd,
                          SimTime now)
{
    if (now < silentUntil_) return;
    const auto bit = BitTime();
    const auto character = line_.instant ? SimClock::duration::zero() : bit * BitsPerChar;
    // The request's own time on the line has passed at `requestEnd` only on
    // a real line; the pseudo-terminal brings it at once. Instant answers
    // still come no sooner than the line could have carried them, in one
    // write: the master takes nothing sooner for an answer.
    SimTime start = requestEnd + bit * station.Dp().MinTsdrBits();
    if (line_.instant) start += bit * BitsPerChar * static_cast<long>(request.length);
    if (bus_.Flooded(start)) return;  // the line is busy: the station waits and the master gives up
    TFaultedAnswer out;
    out.reply = line_.sd3 ? AsSd3(reply) : std::move(reply);
    if (!request.dsap && !out.reply.empty() && out.reply[0] == fdl::SD2)
        out = ApplyFaults(line_.faults, ++dataExchanges_, std::move(out.reply), random_);
    for (const auto& hit : out.hits) {
        ++stats_.faults[static_cast<std::size_t>(hit.kind)];
        Report(hit.text + " on Data_Exchange answer " + std::to_string(dataExchanges_));
    }
    if (out.silenceSeconds) silentUntil_ = now + std::chrono::seconds(out.silenceSeconds);
    if (out.floodSeconds) bus_.Flood(start, start + std::chrono::seconds(out.floodSeconds), bit * BitsPerChar);
    if (!out.send) return;
    start += out.delay;
    if (line_.instant) start += bit * BitsPerChar * static_cast<long>(out.reply.size());
    const int sender = out.isAnswer ? station.Dp().Address() : TLineOutput::NoStation;
    if (out.isAnswer) ++stats_.answers;
    SimTime end = start;
    if (out.split || out.headPause > Millis(0)) {
        // In halves, or 68 LE and then the rest, as an adapter that hands the head's start over alone.
        const std::size_t first = out.split ? out.reply.size() / 2 : 2;
        const SimClock::duration gap = out.split ? SimClock::duration(SplitGap) : SimClock::duration(out.headPause);
        end = bus_.Send(out.reply.Mid(0, first), start, character, sender, out.badChar);
        const auto bad = out.badChar && *out.badChar >= first ? std::optional(*out.badChar - first) : std::nullopt;
        end = bus_.Send(out.reply.Mid(first, out.reply.size() - first), end + gap, character, sender, bad);
    } else {
        end = bus_.Send(out.reply, start, character, sender, out.badChar);
    }
    if (!out.stray.empty()) bus_.Send(out.stray, end + StrayGap, character, TLineOutput::NoStation);
}

}  // namespace sim
