// Records telegrams into a pcapng file without slowing the link: Record only
// appends the block to a buffer under a short lock, and a writer thread of
// the recorder's own writes the buffer out whenever it is woken. A write
// error (a full disk, say) or a buffer the disk cannot keep up with stops
// the recording: the file is cut back to its last whole block, and the
// message (with the system's reason) goes to the failure handler and to
// Stop's result, never as an exception into the caller.
#pragma once

#include "PcapngBlocks.h"

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class TTraceRecorder {
public:
    using TFailureEvent = std::function<void(const std::string& message)>;
    using TClock = std::function<std::uint64_t()>;  // nanoseconds since 1970

    // Bytes that may wait for the writer before the recording stops.
    static constexpr std::size_t BufferLimit = std::size_t{4} << 20;

    // Without a clock the system clock stamps the telegrams.
    explicit TTraceRecorder(TClock clock = {});
    ~TTraceRecorder();  // stops like Stop
    TTraceRecorder(const TTraceRecorder&) = delete;
    TTraceRecorder& operator=(const TTraceRecorder&) = delete;

    // Creates (or replaces) the file at `path` and starts recording. False,
    // with `error` set, when the file cannot be created. Write errors, from
    // the header on, stop the recording later: `onFailure` then runs on the
    // writer thread.
    bool Start(const std::string& path, std::string& error, TFailureEvent onFailure = {});

    // Stamps and queues one telegram (`nanoseconds` since 1970, 0: now);
    // does nothing unless recording. Safe to call from any thread.
    void Record(pcapng::Direction direction, const std::uint8_t* data, std::size_t size, std::string_view comment = {},
                std::uint64_t nanoseconds = 0);

    // Writes what is buffered, closes the file and returns the message of a
    // failure that stopped the recording (empty when all went well).
    std::string Stop();

    bool Recording() const;

private:
    void WriterLoop();
    bool WriteOut(const pcapng::Bytes& bytes, std::string& message);

    TClock clock_;
    TFailureEvent onFailure_;
    std::FILE* file_ = nullptr;
    std::string path_;
    std::uintmax_t whole_ = 0;  // bytes of whole blocks in the file
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    pcapng::Bytes pending_;
    bool recording_ = false;  // Record takes telegrams
    bool stopping_ = false;   // Stop asks the writer to finish
    bool overflow_ = false;   // the buffer passed BufferLimit
    std::string failure_;
    std::thread writer_;
};
