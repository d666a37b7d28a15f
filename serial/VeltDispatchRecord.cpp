// The dispatcher's trace (one entry per byte sent or received) and dispatch
// log (reads and writes with their bytes and times), with their text dumps.
#include "VeltDispatch.h"

#include "SystemInfo.h"
#include "VeltDispatchInternal.h"
#include "VeltStrings.h"

#include <chrono>
#include <cstdio>
#include <fstream>

namespace {

// Bytes as text: printable characters as they are and the others as [XX]
// with `hex`, everything as XX with `allHex`, raw without either.
std::string Render(const std::uint8_t* bytes, std::size_t count, bool hex, bool allHex)
{
    std::string out;
    char buffer[8];
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (allHex) {
            std::snprintf(buffer, sizeof buffer, "%s%02X", i ? " " : "", b);
            out += buffer;
        } else if (hex && (b < 32 || b > 126)) {
            std::snprintf(buffer, sizeof buffer, "[%02X]", b);
            out += buffer;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::ofstream OpenDump(const std::string& fileName, bool append)
{
    return std::ofstream(fileName, append ? std::ios::app : std::ios::trunc);
}

}  // namespace

// ---------------------------------------------------------------- trace ----

int TVeltBaseDispatcher::StartTrace(std::uint32_t entries)
{
    if (entries > MaxTraceSize) return ecBadArgument;
    std::lock_guard lock(DataLock);
    if (trace_) {
        trace_->paused = false;
        return ecOK;
    }
    trace_ = std::make_unique<TTraceBuffer>();
    trace_->entries.resize(2 * static_cast<std::size_t>(entries ? entries : 1));
    return ecOK;
}

void TVeltBaseDispatcher::StopTrace()
{
    std::lock_guard lock(DataLock);
    trace_.reset();
}

void TVeltBaseDispatcher::PauseTrace()
{
    std::lock_guard lock(DataLock);
    if (trace_) trace_->paused = true;
}

void TVeltBaseDispatcher::ResumeTrace()
{
    std::lock_guard lock(DataLock);
    if (trace_) trace_->paused = false;
}

int TVeltBaseDispatcher::ClearTrace()
{
    std::lock_guard lock(DataLock);
    if (!trace_) return ecTracingNotEnabled;
    trace_->write = 0;
    trace_->wrapped = false;
    return ecOK;
}

bool TVeltBaseDispatcher::TraceActive() const { return trace_ != nullptr; }

void TVeltBaseDispatcher::AddTrace(char direction, const std::uint8_t* bytes, std::size_t count)
{
    std::lock_guard lock(DataLock);
    if (!trace_ || trace_->paused) return;
    auto& t = *trace_;
    for (std::size_t i = 0; i < count; ++i) {
        t.entries[t.write] = static_cast<std::uint8_t>(direction);
        t.entries[t.write + 1] = bytes[i];
        t.write += 2;
        if (t.write >= t.entries.size()) {
            t.write = 0;
            t.wrapped = true;
        }
    }
}

int TVeltBaseDispatcher::DumpTrace(const std::string& fileName, bool append, bool hex, bool allHex)
{
    std::lock_guard lock(DataLock);
    if (!trace_) return ecTracingNotEnabled;
    auto out = OpenDump(fileName, append);
    if (!out) {
        trace_.reset();
        return ecAccessDenied;
    }
    out << "VELT " << VeltVersion << " trace\n";
    // Oldest entry first; one line per run of bytes in one direction.
    const auto& t = *trace_;
    const std::size_t total = t.wrapped ? t.entries.size() : t.write;
    const std::size_t first = t.wrapped ? t.write : 0;
    std::size_t i = 0;
    while (i < total) {
        const char direction = static_cast<char>(t.entries[(first + i) % t.entries.size()]);
        std::vector<std::uint8_t> run;
        while (i < total && static_cast<char>(t.entries[(first + i) % t.entries.size()]) == direction) {
            run.push_back(t.entries[(first + i + 1) % t.entries.size()]);
            i += 2;
        }
        out << direction << ": " << Render(run.data(), run.size(), hex, allHex) << '\n';
    }
    trace_.reset();
    return out ? ecOK : ecAccessDenied;
}

// ------------------------------------------------------------------ log ----

int TVeltBaseDispatcher::StartLog(std::uint32_t bytes)
{
    if (bytes > MaxLogSize) return ecBadArgument;
    std::lock_guard lock(DataLock);
    if (log_) {
        log_->paused = false;
        return ecOK;
    }
    log_ = std::make_unique<TLogBuffer>();
    log_->size = bytes;
    return ecOK;
}

void TVeltBaseDispatcher::StopLog()
{
    std::lock_guard lock(DataLock);
    log_.reset();
}

void TVeltBaseDispatcher::PauseLog()
{
    std::lock_guard lock(DataLock);
    if (log_) log_->paused = true;
}

void TVeltBaseDispatcher::ResumeLog()
{
    std::lock_guard lock(DataLock);
    if (log_) log_->paused = false;
}

int TVeltBaseDispatcher::ClearLog()
{
    std::lock_guard lock(DataLock);
    if (!log_) return ecLoggingNotEnabled;
    log_->entries.clear();
    log_->used = 0;
    return ecOK;
}

bool TVeltBaseDispatcher::LogActive() const { return log_ != nullptr; }

void TVeltBaseDispatcher::AddLog(int kind, int subKind, std::uint32_t value, const std::uint8_t* bytes,
                                 std::size_t count)
{
    std::lock_guard lock(DataLock);
    if (!log_ || log_->paused) return;
    auto& l = *log_;
    const std::size_t need = TLogBuffer::HeaderBytes + count;
    if (need > l.size) return;
    // Circular: the oldest entries make room.
    while (l.used + need > l.size) {
        l.used -= TLogBuffer::HeaderBytes + l.entries.front().data.size();
        l.entries.pop_front();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - l.start);
    l.entries.push_back({kind, subKind, static_cast<std::uint32_t>(ms.count()), value,
                         std::vector<std::uint8_t>(bytes, bytes + count)});
    l.used += need;
}

int TVeltBaseDispatcher::DumpLog(const std::string& fileName, bool append, bool hex, bool allHex)
{
    std::lock_guard lock(DataLock);
    if (!log_) return ecLoggingNotEnabled;
    auto out = OpenDump(fileName, append);
    if (!out) {
        log_.reset();
        return ecAccessDenied;
    }
    const auto& texts = ErrorStrings();
    out << "VELT " << VeltVersion << '\n'
        << "Compiler : g++ " << __VERSION__ << '\n'
        << "Operating System : " << OperatingSystemName() << "\n\n"
        << texts.GetString(15501) << '\n'
        << texts.GetString(15502) << '\n';
    for (const auto& e : log_->entries) {
        char time[16];
        std::snprintf(time, sizeof time, "%07u", e.timeMs % 10000000u);
        const std::string stamp = std::string(time, 4) + "." + std::string(time + 4);
        char line[128];
        std::snprintf(line, sizeof line, "%8s  %-8s  %-12s  %08x  ", stamp.c_str(),
                      texts.GetString(15001 + e.kind).c_str(), texts.GetString(15100 + e.subKind).c_str(), e.value);
        out << line << Render(e.data.data(), e.data.size(), hex, allHex) << '\n';
    }
    log_.reset();
    return out ? ecOK : ecAccessDenied;
}
