// The dispatcher's device layer on a Windows serial port (\\.\COMn):
//   open      CreateFile with overlapped I/O and no sharing; result codes in
//             the numbering the component maps (-2 no such port, -3 bad
//             path, -5 in use, otherwise minus the system error);
//   line      the device control block, written whole; the driver's queue
//             sizes through SetupComm;
//   waiting   WaitCommEvent, overlapped, waited on together with a wake
//             event; an abandoned wait (error 995) is armed again;
//   reading   only what ClearCommError reports queued, so no read waits on
//             an empty queue (reads with an interval time-out do on some
//             drivers);
//   writing   overlapped, waited on together with the purge event; a purge
//             abandons the write with CancelIoEx.
// Error 50 ("not supported") from a modem-line call is tolerated: virtual
// ports and some adapters have no modem lines; the wait then watches the
// line's events alone.
#pragma once

#include "serial/VeltDispatch.h"

#include <atomic>
#include <memory>
#include <windows.h>

class TVeltWin32Dispatcher : public TVeltBaseDispatcher {
public:
    explicit TVeltWin32Dispatcher(TComponent* owner = nullptr);
    ~TVeltWin32Dispatcher() override;

protected:
    [[nodiscard]] int DeviceEscape(int function) override;
    [[nodiscard]] int DevicePurge(int queue) override;
    std::uint32_t DeviceStatus(TDeviceStatus& status) override;
    [[nodiscard]] int DeviceGetState(TDeviceControlBlock& block) override;
    [[nodiscard]] int DeviceRead(std::uint8_t* buffer, std::size_t count) override;
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
    // One overlapped operation: its record, the manual-reset event it
    // signals and, for WaitCommEvent, the event mask the driver fills.
    struct TOverlapped {
        TOverlapped();
        ~TOverlapped();
        OVERLAPPED record{};
        DWORD mask = 0;
        bool Valid() const { return record.hEvent != nullptr; }
        // Readies the record for the next operation.
        void Rearm();
        // Whether the driver has finished with the record (its event set and
        // its result written) within `ms`.
        bool Finished(DWORD ms) const;
    };

    void NoteFailure(DWORD error);
    // Bytes in the driver's input queue; keeps the error flags it clears.
    std::uint32_t QueuedInput();
    // Cancels `operation` when pending and waits until the driver lets go of it.
    void Abandon(TOverlapped& operation);

    HANDLE port_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<TVeltEvent> wake_;  // makes DeviceWaitEvent return
    TDeviceControlBlock state_;         // what was last written to the device
    // WaitCommEvent (event thread); on the heap, so that a close can leave it
    // to a driver that has not let go of it.
    std::unique_ptr<TOverlapped> waitOp_ = std::make_unique<TOverlapped>();
    TOverlapped readOp_;   // ReadFile (holder of the read lock)
    TOverlapped writeOp_;  // WriteFile (output thread)
    bool waitPending_ = false;
    bool lineEventsOnly_ = false;               // the port cannot wait for modem-line changes
    DWORD lateLookMs_ = 0;                      // next look at a wait whose event came before its result
    std::atomic<std::uint32_t> lineErrors_{0};  // taken from the driver, not yet reported
    // Parity: a character came bad since the last read (CE_RXPARITY, CE_FRAME).
    void MarkBadBytes(const std::uint8_t* bytes, std::size_t count);
    std::atomic<bool> badPending_{false};
};
