#include "VeltWin32Dispatcher.h"

#include "DeviceControlBlock.h"

#include <algorithm>

namespace {

// The events the event thread waits for (the same bits as the ev... masks);
// the line events alone on a port without modem lines.
constexpr DWORD LineEvents = EV_RXCHAR | EV_BREAK | EV_ERR;
constexpr DWORD WatchedEvents = LineEvents | EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// A read that the driver has not finished in this time, although the bytes
// were queued, is cancelled and counts what it got.
constexpr DWORD ReadGraceMs = 200;

// How long a close waits, after closing the handle, for the driver to finish
// with the event wait it left armed (the close ends it on every driver).
constexpr DWORD CloseGraceMs = 1000;

// A wait whose event came before its result is looked at again after 1, 2,
// 4 ... up to this many ms; then only its event is waited for.
constexpr DWORD LateLookMaxMs = 32;

// Errors after which the port is no longer there (adapter pulled, driver gone).
bool GoneError(DWORD error)
{
    return error == ERROR_BAD_COMMAND || error == ERROR_INVALID_HANDLE || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_GEN_FAILURE || error == ERROR_DEV_NOT_EXIST || error == ERROR_ACCESS_DENIED;
}

int Failure(DWORD error) { return -static_cast<int>(error); }

// Whether the program runs under Wine, where a port is a Unix terminal device.
bool UnderWine()
{
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

// Under Wine a pseudo-terminal takes the rate and byte size but drops the
// parity, and the C library below reports that as an invalid parameter
// (error 87). The line is then as good as a pseudo-terminal gets; anywhere
// else a refused setting is an error.
bool OnlyParityDropped(HANDLE port, const DCB& wanted)
{
    DCB now{};
    now.DCBlength = sizeof now;
    return UnderWine() && GetCommState(port, &now) && now.BaudRate == wanted.BaudRate &&
           now.ByteSize == wanted.ByteSize && now.Parity == NOPARITY;
}

}  // namespace

TVeltWin32Dispatcher::TOverlapped::TOverlapped() { record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TVeltWin32Dispatcher::TOverlapped::~TOverlapped()
{
    if (record.hEvent) CloseHandle(record.hEvent);
}

void TVeltWin32Dispatcher::TOverlapped::Rearm()
{
    const HANDLE event = record.hEvent;
    record = OVERLAPPED{};
    record.hEvent = event;
    mask = 0;
    ::ResetEvent(event);
}

TVeltWin32Dispatcher::TVeltWin32Dispatcher(TComponent* owner) : TVeltBaseDispatcher(owner) {}

TVeltWin32Dispatcher::~TVeltWin32Dispatcher()
{
    WaitForPendingClose();
    Deactivate();
}

int TVeltWin32Dispatcher::DeviceOpen(const std::string& name, std::uint32_t, std::uint32_t)
{
    if (!waitOp_->Valid() || !readOp_.Valid() || !writeOp_.Valid()) return ecOutOfMemory;
    // No sharing: a second open, by this process or another, is refused with 5.
    const HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return ecFileNotFound;
        if (error == ERROR_PATH_NOT_FOUND) return ecPathNotFound;
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return ecAccessDenied;
        return Failure(error);
    }
    const auto fail = [port](int code) {
        CloseHandle(port);
        return code;
    };
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) return fail(ecFileNotFound);  // not a serial port
    // Reads return at once with what is queued; writes have no time limit
    // (a purge or a close ends them).
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!SetCommTimeouts(port, &timeouts) || !SetCommMask(port, WatchedEvents)) return fail(Failure(GetLastError()));
    wake_ = std::make_unique<TVeltEvent>(TVeltEvent::Reset::Auto);
    if (!wake_->Valid()) {
        wake_.reset();
        return fail(ecOutOfMemory);
    }
    PurgeComm(port, PURGE_RXCLEAR);  // stale input from before the open
    port_ = port;
    state_ = win32dcb::ToBlock(dcb);
    waitPending_ = false;
    lateLookMs_ = 0;
    lineEventsOnly_ = false;
    return ecOK;
}

void TVeltWin32Dispatcher::Abandon(TOverlapped& operation)
{
    CancelIoEx(port_, &operation.record);
    DWORD ignored = 0;
    GetOverlappedResult(port_, &operation.record, &ignored, TRUE);
}

bool TVeltWin32Dispatcher::TOverlapped::Finished(DWORD ms) const
{
    // The event may come a moment before the result is written (Wine): the
    // record is let go only once both are there.
    const ULONGLONG end = GetTickCount64() + ms;
    if (WaitForSingleObject(record.hEvent, ms) != WAIT_OBJECT_0) return false;
    while (!HasOverlappedIoCompleted(&record)) {
        if (GetTickCount64() >= end) return false;
        Sleep(1);
    }
    return true;
}

int TVeltWin32Dispatcher::DeviceClose()
{
    if (port_ == INVALID_HANDLE_VALUE) return -1;
    // The threads have stopped; a wait they left armed still names our record.
    // A cleared mask or the cancel ends it where the driver honours them, the
    // close on every driver.
    if (waitPending_) {
        SetCommMask(port_, 0);
        CancelIoEx(port_, &waitOp_->record);
    }
    const int result = CloseHandle(port_) ? ecOK : -1;
    port_ = INVALID_HANDLE_VALUE;
    // A driver that has not let go of the record may still write its result
    // and event: the record is then left to it, never freed (one record
    // each such close), and the next open takes a new one.
    if (waitPending_ && !waitOp_->Finished(CloseGraceMs)) {
        static_cast<void>(waitOp_.release());
        waitOp_ = std::make_unique<TOverlapped>();
    }
    waitPending_ = false;
    lateLookMs_ = 0;
    wake_.reset();
    return result;
}

bool TVeltWin32Dispatcher::DeviceSetQueues(std::uint32_t inSize, std::uint32_t outSize)
{
    return SetupComm(port_, inSize, outSize) != 0;
}

void TVeltWin32Dispatcher::NoteFailure(DWORD error)
{
    if (GoneError(error)) MarkDeviceGone(static_cast<int>(error));
}

int TVeltWin32Dispatcher::DeviceEscape(int function)
{
    // efSetRTS .. efClrDTR are the system's own function numbers.
    if (function < efSetRTS || function > efClrDTR) return ecOK;
    if (!EscapeCommFunction(port_, static_cast<DWORD>(function)) && GetLastError() != ERROR_NOT_SUPPORTED)
        NoteFailure(GetLastError());
    return ecOK;
}

std::uint8_t TVeltWin32Dispatcher::DeviceModemLines()
{
    // MS_CTS_ON .. MS_RLSD_ON are msCTS .. msDCD; error 50 means no modem lines.
    DWORD lines = 0;
    if (port_ == INVALID_HANDLE_VALUE || !GetCommModemStatus(port_, &lines)) return 0;
    return static_cast<std::uint8_t>(lines & (msCTS | msDSR | msRing | msDCD));
}

int TVeltWin32Dispatcher::DevicePurge(int queue)
{
    const DWORD flags = queue == 0 ? PURGE_TXCLEAR | PURGE_TXABORT : PURGE_RXCLEAR;
    if (PurgeComm(port_, flags)) return ecOK;
    const DWORD error = GetLastError();
    return error == ERROR_NOT_SUPPORTED || GoneError(error) ? ecOK : Failure(error);
}

std::uint32_t TVeltWin32Dispatcher::QueuedInput()
{
    DWORD errors = 0;
    COMSTAT stat{};
    if (port_ == INVALID_HANDLE_VALUE || DeviceGone() || !ClearCommError(port_, &errors, &stat)) return 0;
    // ClearCommError also clears the error flags: they wait here for DeviceStatus.
    // CE_RXOVER .. CE_BREAK are the le... bits.
    if (errors & leMask) lineErrors_.fetch_or(errors & leMask);
    if (errors & (CE_RXPARITY | CE_FRAME)) badPending_ = true;
    return stat.cbInQue;
}

// The driver says a character came bad, not which: it is the one it replaced
// by the error character, or, where the driver does not replace, any byte of
// the read that brought it.
void TVeltWin32Dispatcher::MarkBadBytes(const std::uint8_t* bytes, std::size_t count)
{
    const auto error = static_cast<std::uint8_t>(win32dcb::ErrorChar);
    bool found = false;
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] == error) {
            MarkBadInRead(i);
            found = true;
        }
    for (std::size_t i = 0; !found && i < count; ++i) MarkBadInRead(i);
}

std::uint32_t TVeltWin32Dispatcher::DeviceStatus(TDeviceStatus& status)
{
    status.InQueue = QueuedInput();
    status.Errors = lineErrors_.exchange(0);
    status.OutQueue = OutputFill();
    return status.Errors;
}

int TVeltWin32Dispatcher::DeviceGetState(TDeviceControlBlock& block)
{
    // The last settings written are the state: not every driver reads them
    // back as set (some report no parity whatever was set).
    block = state_;
    return ecOK;
}

int TVeltWin32Dispatcher::DeviceSetState(const TDeviceControlBlock& block, bool)
{
    // The dispatcher has already waited for its output to drain before a
    // change that must follow it, and SetCommState applies at once.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port_, &dcb)) return Failure(GetLastError());
    if (const int checked = win32dcb::FromBlock(block, dcb); checked != ecOK) return checked;
    if (!SetCommState(port_, &dcb)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INVALID_PARAMETER) return Failure(error);
        if (!OnlyParityDropped(port_, dcb)) return ecBaudRate;
    }
    state_ = block;
    return ecOK;
}

int TVeltWin32Dispatcher::DeviceRead(std::uint8_t* buffer, std::size_t count)
{
    const std::uint32_t queued = QueuedInput();
    if (queued == 0 || count == 0) return 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count, queued));
    readOp_.Rearm();
    // The count comes from the overlapped record also when the read ends at
    // once: the count argument is unreliable for an overlapped handle.
    if (!ReadFile(port_, buffer, wanted, nullptr, &readOp_.record)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            if (error == ERROR_OPERATION_ABORTED) return 0;  // a purge of the input
            NoteFailure(error);
            return Failure(error);
        }
        // The bytes were queued, so this ends at once; a driver that holds
        // it anyway is cancelled and what it got counts.
        if (WaitForSingleObject(readOp_.record.hEvent, ReadGraceMs) != WAIT_OBJECT_0)
            CancelIoEx(port_, &readOp_.record);
    }
    DWORD got = 0;
    if (!GetOverlappedResult(port_, &readOp_.record, &got, TRUE)) {
        const DWORD failed = GetLastError();
        if (failed == ERROR_OPERATION_ABORTED) return static_cast<int>(got);
        NoteFailure(failed);
        return Failure(failed);
    }
    if (got > 0 && badPending_.exchange(false)) MarkBadBytes(buffer, got);
    return static_cast<int>(got);
}

int TVeltWin32Dispatcher::DeviceTransmit(const std::uint8_t* first, std::size_t firstCount, const std::uint8_t*,
                                         std::size_t, TVeltEvent& abort)
{
    // One piece a call: the caller offers the rest again.
    writeOp_.Rearm();
    if (!WriteFile(port_, first, static_cast<DWORD>(firstCount), nullptr, &writeOp_.record)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            NoteFailure(error);
            return Failure(error);
        }
        const HANDLE handles[2] = {writeOp_.record.hEvent, static_cast<HANDLE>(abort.Handle())};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            // A purge: the write is abandoned (PurgeComm does not end it everywhere).
            Abandon(writeOp_);
            return TransmitAbandoned;
        }
    }
    DWORD written = 0;
    if (!GetOverlappedResult(port_, &writeOp_.record, &written, TRUE)) {
        const DWORD failed = GetLastError();
        if (failed == ERROR_OPERATION_ABORTED) return TransmitAbandoned;
        NoteFailure(failed);
        return Failure(failed);
    }
    return static_cast<int>(written);
}

void TVeltWin32Dispatcher::DeviceWakeWaiter()
{
    if (wake_) wake_->Set();
}

bool TVeltWin32Dispatcher::DeviceWaitEvent(std::uint32_t& mask)
{
    OVERLAPPED& record = waitOp_->record;
    for (;;) {
        // A gone port is not watched again, nor is input while the
        // dispatcher's buffer has no room: then only the wake counts.
        const bool watch = !DeviceGone() && !InputBufferFull();
        if (watch && !waitPending_) {
            // Bytes that came while nobody watched raise no new EV_RXCHAR.
            if (QueuedInput() > 0) {
                mask = evRxChar;
                return true;
            }
            waitOp_->Rearm();
            if (WaitCommEvent(port_, &waitOp_->mask, &record)) {
                if (waitOp_->mask == 0) continue;
                mask = waitOp_->mask;
                return true;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_OPERATION_ABORTED) continue;
            // A port without modem lines (a pseudo-terminal under Wine) cannot
            // wait for their changes: it waits for the line alone.
            if (error == ERROR_NOT_SUPPORTED && !lineEventsOnly_) {
                lineEventsOnly_ = SetCommMask(port_, LineEvents) != 0;
                if (lineEventsOnly_) continue;
            }
            if (error != ERROR_IO_PENDING) {
                MarkDeviceGone(static_cast<int>(error));
                mask = evErr;
                return true;
            }
            waitPending_ = true;
        }
        // The wake comes first, so a stop is never lost behind port events.
        const HANDLE handles[2] = {static_cast<HANDLE>(wake_->Handle()), record.hEvent};
        const DWORD count = waitPending_ ? 2 : 1;
        const DWORD limit = waitPending_ && lateLookMs_ ? lateLookMs_ : INFINITE;
        const DWORD result = WaitForMultipleObjects(count, handles, FALSE, limit);
        if (result == WAIT_OBJECT_0) {
            mask = 0;
            return true;
        }
        if (result != WAIT_OBJECT_0 + 1 && result != WAIT_TIMEOUT) return false;
        DWORD ignored = 0;
        bool done = GetOverlappedResult(port_, &record, &ignored, FALSE) != 0;
        if (!done && GetLastError() == ERROR_IO_INCOMPLETE) {
            // The event came before the result (Wine sets it a moment early,
            // or for a wake that finds nothing). It is reset before the result
            // is looked at again: an end after that look sets it anew, one
            // before it is seen by it, and a result written without a new
            // event by the next look, a short time later.
            ResetEvent(record.hEvent);
            done = GetOverlappedResult(port_, &record, &ignored, FALSE) != 0;
            if (!done && GetLastError() == ERROR_IO_INCOMPLETE) {
                lateLookMs_ = lateLookMs_ == 0 ? 1 : lateLookMs_ * 2;
                if (lateLookMs_ > LateLookMaxMs) lateLookMs_ = 0;
                continue;
            }
        }
        const DWORD error = done ? ERROR_SUCCESS : GetLastError();
        lateLookMs_ = 0;
        waitPending_ = false;
        // Abandoned by the driver (some end an idle wait this way): armed again.
        if (error == ERROR_OPERATION_ABORTED) continue;
        if (!done) {
            MarkDeviceGone(static_cast<int>(error));
            mask = evErr;
            return true;
        }
        if (waitOp_->mask == 0) continue;
        mask = waitOp_->mask;
        return true;
    }
}

std::unique_ptr<TVeltBaseDispatcher> MakeNativeDispatcher(TComponent* owner)
{
    return std::make_unique<TVeltWin32Dispatcher>(owner);
}
