// The control file of quorvel-slave: a named pipe that other programs write
// lines to ("echo 'load 0 50' > PATH"). It is held open for reading and
// writing, so a writer that closes never leaves it hung up, and read without
// waiting.
#pragma once

#include <string>
#include <vector>

namespace sim {

class TControlFifo {
public:
    static constexpr std::size_t MaxLine = 200;

    struct TLine {
        std::string text;
        bool tooLong = false;  // the text is the line's start; the rest was dropped
    };

    // Makes the pipe at `path` (or takes a pipe already there); throws
    // std::runtime_error when `path` is anything else or cannot be made.
    explicit TControlFifo(std::string path);
    ~TControlFifo();  // closes it and removes a pipe it made
    TControlFifo(const TControlFifo&) = delete;
    TControlFifo& operator=(const TControlFifo&) = delete;

    int Fd() const { return fd_; }
    // The complete lines waiting, without their line ends.
    std::vector<TLine> ReadLines();

private:
    std::string path_;
    int fd_ = -1;
    bool made_ = false;
    std::string partial_;
    bool dropping_ = false;  // in a line longer than MaxLine
};

}  // namespace sim
