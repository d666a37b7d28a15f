#include "VeltPosixDispatcher.h"

#include "TermiosMapping.h"
#include "serial/posix/linux/CustomBaud.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A modem or serial ioctl that the device does not support.
bool Unsupported(int error) { return error == ENOTTY || error == EINVAL; }

// Errors after which the device is no longer there.
bool GoneError(int error) { return error == EIO || error == ENXIO || error == ENODEV || error == EBADF; }

TDeviceControlBlock BlockFromTermios(const termios& t)
{
    TDeviceControlBlock b;
    static constexpr std::pair<speed_t, std::uint32_t> speeds[] = {{B1200, 1200},   {B2400, 2400},    {B4800, 4800},
                                                                   {B9600, 9600},   {B19200, 19200},  {B38400, 38400},
                                                                   {B57600, 57600}, {B115200, 115200}};
    b.BaudRate = 9600;
    for (const auto& [constant, baud] : speeds)
        if (cfgetospeed(&t) == constant) b.BaudRate = baud;
    switch (t.c_cflag & CSIZE) {
    case CS5: b.ByteSize = 5; break;
    case CS6: b.ByteSize = 6; break;
    case CS7: b.ByteSize = 7; break;
    default: b.ByteSize = 8; break;
    }
    b.Parity = !(t.c_cflag & PARENB) ? 0 : (t.c_cflag & PARODD) ? 1 : 2;
    b.StopBits = (t.c_cflag & CSTOPB) ? TDeviceControlBlock::TwoStopBits : TDeviceControlBlock::OneStopBit;
    return b;
}

}  // namespace

TVeltPosixDispatcher::TVeltPosixDispatcher(TComponent* owner) : TVeltBaseDispatcher(owner) {}

TVeltPosixDispatcher::~TVeltPosixDispatcher()
{
    WaitForPendingClose();
    Deactivate();
}

int TVeltPosixDispatcher::DeviceOpen(const std::string& name, std::uint32_t, std::uint32_t)
{
    const int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENODEV || e == ENXIO || e == EIO) return ecFileNotFound;
        if (e == ENOTDIR) return ecPathNotFound;
        return -e;
    }
    const auto fail = [fd](int code) {
        close(fd);
        return code;
    };
    termios t{};
    if (tcgetattr(fd, &t) != 0) return fail(ecFileNotFound);  // not a terminal device
    // Held by another open (this process or another): "in use".
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? ecAccessDenied : -errno);
    // A ttyS placeholder without a UART opens but fails every transfer.
    if (IsUartPlaceholder(fd)) return fail(ecFileNotFound);
    wake_ = std::make_unique<TVeltEvent>(TVeltEvent::Reset::Auto);
    if (!wake_->Valid()) {
        wake_.reset();
        return fail(ecOutOfMemory);
    }
    tcflush(fd, TCIFLUSH);  // stale input from before the open
    fd_ = fd;
    state_ = BlockFromTermios(t);
    pseudoTerminal_ = IsPseudoTerminal(fd_);
    haveCounters_ = ReadLineErrorCounts(fd_, counters_);
    emptyReadiness_ = 0;
    marking_ = (t.c_iflag & PARMRK) != 0 && (t.c_iflag & ISTRIP) == 0;
    decoding_ = false;
    return ecOK;
}

int TVeltPosixDispatcher::DeviceClose()
{
    if (fd_ < 0) return -1;
    const int result = close(fd_) == 0 ? ecOK : -1;  // also drops the flock
    fd_ = -1;
    wake_.reset();
    return result;
}

bool TVeltPosixDispatcher::DeviceSetQueues(std::uint32_t, std::uint32_t)
{
    return true;  // the driver's queue sizes are fixed on Linux
}

void TVeltPosixDispatcher::NoteFailure(int error)
{
    if (GoneError(error)) MarkDeviceGone(error);
}

int TVeltPosixDispatcher::DeviceEscape(int function)
{
    int bits = 0;
    unsigned long request = TIOCMBIS;
    switch (function) {
    case efSetDTR: bits = TIOCM_DTR; break;
    case efClrDTR:
        bits = TIOCM_DTR;
        request = TIOCMBIC;
        break;
    case efSetRTS: bits = TIOCM_RTS; break;
    case efClrRTS:
        bits = TIOCM_RTS;
        request = TIOCMBIC;
        break;
    default: return ecOK;
    }
    if (ioctl(fd_, request, &bits) != 0 && !Unsupported(errno)) NoteFailure(errno);
    return ecOK;
}

std::uint8_t TVeltPosixDispatcher::DeviceModemLines()
{
    int lines = 0;
    if (fd_ < 0 || ioctl(fd_, TIOCMGET, &lines) != 0) return 0;
    return static_cast<std::uint8_t>(((lines & TIOCM_CTS) ? msCTS : 0) | ((lines & TIOCM_DSR) ? msDSR : 0) |
                                     ((lines & TIOCM_RNG) ? msRing : 0) | ((lines & TIOCM_CAR) ? msDCD : 0));
}

int TVeltPosixDispatcher::DevicePurge(int queue)
{
    if (tcflush(fd_, queue == 0 ? TCOFLUSH : TCIFLUSH) == 0) return ecOK;
    return Unsupported(errno) || GoneError(errno) ? ecOK : -errno;
}

std::uint32_t TVeltPosixDispatcher::LineErrorsFromCounters()
{
    if (!haveCounters_) return 0;
    TLineErrorCounts now;
    if (!ReadLineErrorCounts(fd_, now)) return 0;
    std::uint32_t errors = 0;
    if (now.bufferOverrun != counters_.bufferOverrun) errors |= leRxOverrun;
    if (now.overrun != counters_.overrun) errors |= leOverrun;
    if (now.parity != counters_.parity) errors |= leParity;
    if (now.frame != counters_.frame) errors |= leFraming;
    if (now.breaks != counters_.breaks) errors |= leBreak;
    counters_ = now;
    return errors;
}

std::uint32_t TVeltPosixDispatcher::DeviceStatus(TDeviceStatus& status)
{
    int waiting = 0;
    if (fd_ < 0 || DeviceGone() || ioctl(fd_, FIONREAD, &waiting) != 0) waiting = 0;
    status.InQueue = static_cast<std::uint32_t>(waiting);
    status.OutQueue = OutputFill();
    status.Errors = fd_ < 0 ? 0 : LineErrorsFromCounters();
    return status.Errors;
}

int TVeltPosixDispatcher::DeviceGetState(TDeviceControlBlock& block)
{
    // The device cannot be asked: a pseudo-terminal reports 8 data bits and no
    // parity whatever was set. The last settings written are the state.
    block = state_;
    return ecOK;
}

int TVeltPosixDispatcher::DeviceSetState(const TDeviceControlBlock& block, bool afterOutput)
{
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return -errno;
    bool custom = false;
    const int mapped = ControlBlockToTermios(block, t, custom);
    if (mapped != ecOK) return mapped;
    if (custom) {
        // A rate without a constant: flags and rate in one call.
        TLineFlags flags;
        flags.iflag = t.c_iflag;
        flags.oflag = t.c_oflag;
        flags.cflag = t.c_cflag;
        flags.lflag = t.c_lflag;
        flags.line = t.c_line;
        static_assert(sizeof flags.cc >= sizeof t.c_cc);
        std::memcpy(flags.cc, t.c_cc, sizeof t.c_cc);
        if (const int error = SetLineWithCustomBaud(fd_, flags, block.BaudRate, afterOutput))
            return error == EINVAL ? ecBaudRate : -error;
    } else if (tcsetattr(fd_, afterOutput ? TCSADRAIN : TCSANOW, &t) != 0) {
        // The C library reads the settings back and reports EINVAL when the
        // device dropped parity or byte size, which a pseudo-terminal always
        // does; there the call took effect when the rate did. A real device
        // that drops them is reported.
        const int error = errno;
        termios now{};
        if (error != EINVAL || !pseudoTerminal_ || tcgetattr(fd_, &now) != 0 || cfgetospeed(&now) != cfgetospeed(&t))
            return -error;
    }
    state_ = block;
    marking_ = (t.c_iflag & PARMRK) != 0 && (t.c_iflag & ISTRIP) == 0;
    return ecOK;
}

int TVeltPosixDispatcher::DeviceRead(std::uint8_t* buffer, std::size_t count)
{
    return DeviceReadPieces(buffer, count, nullptr, 0);
}

int TVeltPosixDispatcher::DeviceTransmit(const std::uint8_t* first, std::size_t firstCount, const std::uint8_t* second,
                                         std::size_t secondCount, TVeltEvent& abort)
{
    iovec pieces[2] = {{const_cast<std::uint8_t*>(first), firstCount},
                       {const_cast<std::uint8_t*>(second), secondCount}};
    const int count = secondCount > 0 ? 2 : 1;
    for (;;) {
        const ssize_t n = writev(fd_, pieces, count);
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            NoteFailure(errno);
            return -errno;
        }
        // The device takes nothing now: wait until it does, or until a purge.
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {abort.Fd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if ((fds[1].revents & POLLIN) && abort.TryConsume()) return TransmitAbandoned;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            MarkDeviceGone(EIO);
            return -EIO;
        }
    }
}

void TVeltPosixDispatcher::DeviceWakeWaiter()
{
    if (wake_) wake_->Set();
}

int TVeltPosixDispatcher::DeviceReadPieces(std::uint8_t* first, std::size_t firstCount, std::uint8_t* second,
                                           std::size_t secondCount)
{
    if (firstCount == 0) return 0;
    if (marking_ != decoding_) {
        decoding_ = marking_;
        marks_.Reset();
    }
    if (decoding_) return ReadMarked(first, firstCount, second, secondCount);
    iovec pieces[2] = {{first, firstCount}, {second, secondCount}};
    const int count = secondCount > 0 ? 2 : 1;
    const ssize_t n = readv(fd_, pieces, count);
    if (n > 0) emptyReadiness_ = 0;  // the device is alive, whoever emptied it before a report
    if (n >= 0) return static_cast<int>(n);
    if (errno == EAGAIN || errno == EINTR) return 0;
    NoteFailure(errno);
    return -errno;
}

// The driver's marks decoded on the way into the pieces: a bad character
// reaches the buffer as itself, marked (MarkBadInRead), a doubled FF as one.
int TVeltPosixDispatcher::ReadMarked(std::uint8_t* first, std::size_t firstCount, std::uint8_t* second,
                                     std::size_t secondCount)
{
    const std::size_t room = firstCount + secondCount;
    const std::size_t want = marks_.ReadRoom(room);
    if (raw_.size() < want) raw_.resize(want);
    if (decoded_.size() < room) decoded_.resize(room);
    ssize_t n = want > 0 ? read(fd_, raw_.data(), want) : 0;
    if (n < 0) {
        if (errno != EAGAIN && errno != EINTR) {
            NoteFailure(errno);
            return -errno;
        }
        n = 0;
    }
    if (n > 0) emptyReadiness_ = 0;
    std::vector<std::uint32_t> bad;
    const std::size_t got = marks_.Decode(raw_.data(), static_cast<std::size_t>(n), decoded_.data(), room, bad);
    const std::size_t head = std::min(got, firstCount);
    std::memcpy(first, decoded_.data(), head);
    if (got > head) std::memcpy(second, decoded_.data() + head, got - head);
    for (const std::uint32_t b : bad) MarkBadInRead(b);
    return static_cast<int>(got);
}

// A readiness report with nothing to read, several times in a row, is a
// device that has gone without saying so (a hung-up line reads 0 bytes).
// Once can be a race with the dispatch thread's fallback read; any bytes read
// start the count again.
void TVeltPosixDispatcher::DeviceNoInputOnReadiness()
{
    if (++emptyReadiness_ >= 3) MarkDeviceGone(0);
}

bool TVeltPosixDispatcher::DeviceWaitEvent(std::uint32_t& mask)
{
    for (;;) {
        // A gone device is not watched again (it would report readiness
        // forever), nor is input while the dispatcher's buffer has no room.
        const bool watchDevice = !DeviceGone();
        const short events = InputBufferFull() ? 0 : POLLIN;
        pollfd fds[2] = {{wake_->Fd(), POLLIN, 0}, {watchDevice ? fd_ : -1, events, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[0].revents & POLLIN) {
            wake_->TryConsume();
            mask = 0;
            return true;
        }
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            MarkDeviceGone(0);
            mask = evErr;
            return true;
        }
        if (fds[1].revents & POLLIN) {
            mask = evRxChar;  // the caller reads, and says when it found nothing
            return true;
        }
    }
}

std::unique_ptr<TVeltBaseDispatcher> MakeNativeDispatcher(TComponent* owner)
{
    return std::make_unique<TVeltPosixDispatcher>(owner);
}
