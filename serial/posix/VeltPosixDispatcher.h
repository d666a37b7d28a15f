// The dispatcher's device layer on a POSIX serial device (Linux termios):
//   open      O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, then flock as the
//             "in use" check, then stale input is flushed; result codes in the
//             numbering the component maps (-2 no such device, -5 in use,
//             otherwise minus errno);
//   line      raw 8-bit mode with CLOCAL | CREAD; rates without a termios
//             constant through termios2 (BOTHER); an unsupported rate is
//             ecBaudRate, never a silent fallback; with the parity check on,
//             the driver marks bad characters (PARMRK) and the reads decode
//             the marks (ParityMarks.h) before the bytes reach the buffer;
//   waiting   poll() on the device and a wake-up descriptor; a hang-up or
//             device error marks the device gone and it is not watched again;
//   writing   poll(POLLOUT) together with the purge event, so a purge
//             abandons a write the far side does not take.
// ENOTTY/EINVAL from modem-line and serial ioctls (a pseudo-terminal answers
// so) mean "not supported" and are tolerated.
#pragma once

#include "ParityMarks.h"
#include "serial/VeltDispatch.h"
#include "serial/posix/linux/SerialDriver.h"

#include <atomic>
#include <memory>
#include <vector>

class TVeltPosixDispatcher : public TVeltBaseDispatcher {
public:
    explicit TVeltPosixDispatcher(TComponent* owner = nullptr);
    ~TVeltPosixDispatcher() override;

    int Descriptor() const { return fd_; }

protected:
    [[nodiscard]] int DeviceEscape(int function) override;
    [[nodiscard]] int DevicePurge(int queue) override;
    std::uint32_t DeviceStatus(TDeviceStatus& status) override;
    [[nodiscard]] int DeviceGetState(TDeviceControlBlock& block) override;
    [[nodiscard]] int DeviceRead(std::uint8_t* buffer, std::size_t count) override;
    [[nodiscard]] int DeviceReadPieces(std::uint8_t* first, std::size_t firstCount, std::uint8_t* second,
                                       std::size_t secondCount) override;
    void DeviceNoInputOnReadiness() override;
    [[nodiscard]] int DeviceSetState(const TDeviceControlBlock& block, bool afterOutput) override;
    bool DeviceWaitEvent(std::uint32_t& mask) override;
    bool DeviceSetQueues(std::uint32_t inSize, std::uint32_t outSize) override;
    [[nodiscard]] int DeviceOpen(const std::string& name, std::uint32_t inSize, std::uint32_t outSize) override;
    [[nodiscard]] int DeviceClose() override;
    [[nodiscard]] int DeviceTransmit(const std::uint8_t* first, std::size_t firstCount, const std::uint8_t* second,
                                     std::size_t secondCount, TVeltEvent& abort) override;
    void DeviceWakeWaiter() override;
    std::uint8_t DeviceModemLines() override;

private:
    std::uint32_t LineErrorsFromCounters();
    [[nodiscard]] int ReadMarked(std::uint8_t* first, std::size_t firstCount, std::uint8_t* second,
                                 std::size_t secondCount);
    void NoteFailure(int error);

    int fd_ = -1;
    std::unique_ptr<TVeltEvent> wake_;  // makes DeviceWaitEvent return
    TDeviceControlBlock state_;         // what was last written to the device
    bool haveCounters_ = false;
    TLineErrorCounts counters_{};
    bool pseudoTerminal_ = false;
    std::atomic<int> emptyReadiness_{0};  // readiness reports in a row with nothing to read
    std::atomic<bool> marking_{false};    // the driver marks bad characters (PARMRK)
    // The reads' decoding of the marks and the raw bytes it works on (ReadLock).
    TParityMarks marks_;
    bool decoding_ = false;
    std::vector<std::uint8_t> raw_, decoded_;
};
