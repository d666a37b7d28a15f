#include "TraceRecorder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace {

std::uint64_t SystemNanoseconds()
{
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

}  // namespace

TTraceRecorder::TTraceRecorder(TClock clock) : clock_(clock ? std::move(clock) : TClock(SystemNanoseconds)) {}

TTraceRecorder::~TTraceRecorder() { Stop(); }

bool TTraceRecorder::Start(const std::string& path, std::string& error, TFailureEvent onFailure)
{
    Stop();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write the trace file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);  // what fwrite took is in the file: a failure can be cut back
    file_ = file;
    path_ = path;
    whole_ = 0;
    onFailure_ = std::move(onFailure);
    pcapng::Bytes head = pcapng::SectionHeader();
    const pcapng::Bytes interface = pcapng::InterfaceDescription();
    head.insert(head.end(), interface.begin(), interface.end());
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(head);  // the writer writes the header first
        held_.clear();
        heldBytes_ = 0;
        newest_ = written_ = 0;
        recording_ = true;
        stopping_ = false;
        overflow_ = false;
        failure_.clear();
    }
    writer_ = std::thread([this] { WriterLoop(); });
    return true;
}

void TTraceRecorder::Record(pcapng::Direction direction, const std::uint8_t* data, std::size_t size,
                            std::string_view comment, std::uint64_t nanoseconds)
{
    const std::uint64_t now = nanoseconds != 0 ? nanoseconds : clock_();
    {
        std::lock_guard lock(mutex_);
        if (!recording_) return;
        if (pending_.size() + heldBytes_ + size + comment.size() + 64 > BufferLimit) {
            recording_ = false;
            overflow_ = true;
        } else {
            const bool first = held_.empty();
            held_.emplace(now, THeld{direction, std::vector<std::uint8_t>(data, data + size), std::string(comment)});
            heldBytes_ += size + comment.size() + 64;
            newest_ = std::max(newest_, now);
            if (newest_ >= ReorderWindow) Release(newest_ - ReorderWindow);
            if (pending_.empty() && !first) return;  // the writer already looks on by time
        }
    }
    wake_.notify_one();
}

void TTraceRecorder::Release(std::uint64_t until)
{
    while (!held_.empty() && held_.begin()->first <= until) {
        const auto entry = held_.begin();
        written_ = std::max(written_, entry->first);
        const THeld& e = entry->second;
        const pcapng::Bytes block =
            pcapng::EnhancedPacket(written_, e.direction, e.data.data(), e.data.size(), e.comment);
        pending_.insert(pending_.end(), block.begin(), block.end());
        heldBytes_ -= e.data.size() + e.comment.size() + 64;
        held_.erase(entry);
    }
}

void TTraceRecorder::WriterLoop()
{
    pcapng::Bytes chunk;
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto woken = [this] { return !pending_.empty() || stopping_ || overflow_; };
        if (held_.empty()) {
            // Woken too by the first entry held: from then on it looks on by time.
            wake_.wait(lock, [&] { return woken() || !held_.empty(); });
        } else {
            // Held entries go out once their window has passed, link busy or not.
            wake_.wait_for(lock, std::chrono::milliseconds(100), woken);
            const std::uint64_t now = clock_();
            if (now >= ReorderWindow) Release(now - ReorderWindow);
        }
        if (stopping_ || overflow_) Release(UINT64_MAX);
        chunk.swap(pending_);
        pending_.clear();
        const bool last = stopping_ || overflow_;
        lock.unlock();
        std::string message;
        const bool written = chunk.empty() || WriteOut(chunk, message);
        chunk.clear();
        lock.lock();
        if (written && overflow_)
            message = "the trace stopped: the disk did not keep up with the link (" +
                      std::to_string(BufferLimit >> 20) + " MiB waiting); " + path_ + " holds the telegrams before";
        if (!message.empty()) {
            recording_ = false;
            pending_.clear();
            failure_ = message;
            lock.unlock();
            if (onFailure_) onFailure_(message);
            return;
        }
        if (last && pending_.empty()) return;
    }
}

// A chunk holds whole blocks; when it does not go in whole, the file is cut
// back to the blocks before it, so that it stays a readable pcapng file.
bool TTraceRecorder::WriteOut(const pcapng::Bytes& bytes, std::string& message)
{
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() && std::fflush(file_) == 0) {
        whole_ += bytes.size();
        return true;
    }
    message = "the trace stopped: writing " + path_ + " failed: " + std::strerror(errno ? errno : EIO) + "; ";
    std::error_code ec;
    std::filesystem::resize_file(path_, whole_, ec);
    message += ec ? "cutting off the part block failed: " + ec.message() : "the file ends with its last whole block";
    return false;
}

std::string TTraceRecorder::Stop()
{
    {
        std::lock_guard lock(mutex_);
        recording_ = false;
        stopping_ = true;
    }
    wake_.notify_one();
    if (writer_.joinable()) writer_.join();
    if (file_) {
        if (std::fclose(file_) != 0 && failure_.empty())
            failure_ = "the trace stopped: closing " + path_ + " failed: " + std::strerror(errno);
        file_ = nullptr;
    }
    std::lock_guard lock(mutex_);
    return failure_;
}

bool TTraceRecorder::Recording() const
{
    std::lock_guard lock(mutex_);
    return recording_;
}
