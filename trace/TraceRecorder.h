// Records telegrams into a pcapng file without slowing the link: Record only
// appends the block to a buffer under a short lock, and a writer thread of
// the recorder's own writes the buffer out whenever it is woken. The file
// holds the telegrams in the order of their time stamps, which never run
// backwards: a received telegram reaches the recorder once the channel has
// cut it, which may be after a telegram written later (an answer that was
// not complete within its time is dropped up to a second after its last
// byte came), so each entry waits ReorderWindow before it is written, and
// one that comes later still is stamped with the time of the entry before
// it. Stop writes every entry at once. A write
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
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class TTraceRecorder {
public:
    using TFailureEvent = std::function<void(const std::string& message)>;
    using TClock = std::function<std::uint64_t()>;  // nanoseconds since 1970

    // Bytes that may wait for the writer before the recording stops.
    static constexpr std::size_t BufferLimit = std::size_t{4} << 20;
    // How long an entry waits for earlier ones, in nanoseconds of its stamp.
    static constexpr std::uint64_t ReorderWindow = 2'000'000'000;

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
    struct THeld {
        pcapng::Direction direction;
        std::vector<std::uint8_t> data;
        std::string comment;
    };
    void WriterLoop();
    bool WriteOut(const pcapng::Bytes& bytes, std::string& message);
    // Moves the held entries stamped at or before `until` into the buffer (mutex_).
    void Release(std::uint64_t until);

    TClock clock_;
    TFailureEvent onFailure_;
    std::FILE* file_ = nullptr;
    std::string path_;
    std::uintmax_t whole_ = 0;  // bytes of whole blocks in the file
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    pcapng::Bytes pending_;
    std::multimap<std::uint64_t, THeld> held_;  // by stamp; equal stamps in the order recorded
    std::size_t heldBytes_ = 0;
    std::uint64_t newest_ = 0;   // the latest stamp recorded
    std::uint64_t written_ = 0;  // the stamp of the entry last put into the buffer
    bool recording_ = false;     // Record takes telegrams
    bool stopping_ = false;      // Stop asks the writer to finish
    bool overflow_ = false;      // the buffer passed BufferLimit
    std::string failure_;
    std::thread writer_;
};
