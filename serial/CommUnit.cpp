#include "CommUnit.h"

#include "PortTable.h"
#include "SystemInfo.h"
#include "VeltExcept.h"
#include "base/ComName.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

// The tooltip of a listed port: the device it names.
std::string PortToolTip(int comNumber)
{
    std::string message;
    for (const auto& entry : porttable::CurrentPortTable(message))
        if (entry.comNumber == comNumber) return porttable::Describe(entry);
    return {};
}

}  // namespace

TCommUnit::TCommUnit(TComponent* owner, std::unique_ptr<TPollTimer> timer)
    : TComponent(owner),
      pollTimer_(timer ? std::move(timer) : std::make_unique<TManualTimer>()),
      port_(std::make_unique<TVeltComPort>(owner))
{
    port_->SetRTS(false);
    port_->SetDTR(false);
    port_->SetBaud(19200);
    port_->SetParity(pEven);
    pollTimer_->SetOnTimer([this] { PollTick(); });
    pollTimer_->SetEnabled(false);
    pollTimer_->SetInterval(PollInterval);
    port_->SetOnTriggerAvail([this](TVeltCustomComPort&, unsigned) { PollInput(); });
    pollTimer_->SetOnWake([this] { Woken(); });
}

TCommUnit::~TCommUnit()
{
    pollTimer_->SetEnabled(false);
    port_->ClosePort();
    pollTimer_.reset();
    port_.reset();
}

int TCommUnit::PollsPer(int period) const { return std::max(1, period / std::max(1, pollTimer_->Interval())); }

void TCommUnit::SetPollInterval(int milliseconds)
{
    tickCount_ = 0;
    pollTimer_->SetInterval(std::clamp(milliseconds, 1, PollInterval));
}

void TCommUnit::ScanPorts(TPortChooser& combo)
{
    portCombo_ = &combo;
    combo.SetOnChange([this] { SelectPort(); });
    port_->ClosePort();
    deviceLost_ = false;

    std::uint16_t chosen = 0;
    for (std::uint16_t i = 1; i <= HighestComNumber; ++i) {
        try {
            port_->SetComNumber(i);
            port_->OpenPort();
        } catch (const EAlreadyOpen&) {
            // A port that does not open is not listed; one that another program holds is named.
            Notice(ComName(i) + " (" + porttable::ResolveComPort(i) + ") is busy: another program has it open");
            continue;
        } catch (const std::exception&) {
            continue;
        }
        const std::string name = ComName(i);
        if (chosen == 0 || name == "COM2") {
            chosen = i;
            combo.SetText(name);
        }
        port_->ClosePort();
        combo.AddItem(name, PortToolTip(i));
    }
    OpenAndPoll(chosen);
}

void TCommUnit::OpenAndPoll(std::uint16_t comNumber)
{
    port_->ClosePort();
    deviceLost_ = false;
    refused_ = false;
    port_->SetComNumber(comNumber);
    port_->OpenPort();
    Opened();
    port_->SetDTR(true);
    port_->SetRTS(!port_->ListenOnly());
    pollTimer_->SetEnabled(true);
}

void TCommUnit::SelectPort()
{
    port_->ClosePort();
    deviceLost_ = false;
    refused_ = true;  // until the chosen port has opened
    const std::string text = portCombo_ ? portCombo_->Text() : std::string();
    std::uint16_t number = 0;
    try {
        number = ComNumberOf(text);
    } catch (const EConvertError&) {
        Refuse(text);
        throw;
    }
    port_->SetComNumber(number);
    port_->OpenPort();
    Opened();
    refused_ = false;
}

void TCommUnit::Opened() { openedPath_ = porttable::ResolveComPort(port_->ComNumber()); }

void TCommUnit::Refuse(const std::string& text)
{
    Notice("'" + text + "' names no port from COM1 to COM" + std::to_string(MaxComNumber) + "; the port stays closed");
}

void TCommUnit::Notice(const std::string& text)
{
    if (onNotice_) onNotice_(text);
}

std::uint16_t TCommUnit::ComNumberOf(const std::string& name)
{
    if (const auto number = ParseComName(name)) return static_cast<std::uint16_t>(*number);
    // No number at all: the conversion error of the text after "COM".
    static_cast<void>(StrToInt(name.size() > 3 ? name.substr(3) : std::string()));
    throw EConvertError("'" + name + "' is not a port from COM1 to COM" + std::to_string(MaxComNumber));
}

void TCommUnit::PollTick()
{
    if (++tickCount_ >= PollsPer(TickPeriod)) tickDue_ = true;
    SendHeld();
    if (deviceLost_) {
        if (--reopenCountdown_ <= 0) TryReopen();
    } else {
        PollInput();
    }
    CheckDevice();
    ReleaseTick();
}

void TCommUnit::PollInput()
{
    if (!deviceLost_) {
        // A buffer that fills up is cut and filled again: nothing waiting is lost.
        while (TakeInput()) CutBuffer();
        CutBuffer();
        ArmInputWake();
        SendHeld();
    }
    ReleaseTick();
}

void TCommUnit::SetAdapterAllowance(int milliseconds) { allowance_ = std::clamp(milliseconds, 0, MaxAdapterAllowance); }

fdl::Duration TCommUnit::Slot(std::size_t requestLength, std::size_t answerLength) const
{
    const fdl::Duration allowance = LearnedAllowance();
    return fdl::SlotTime(requestLength, answerLength, static_cast<int>(port_->Baud()),
                         allowance + fdl::SendDelay(allowance));
}

void TCommUnit::AwaitAnswer(std::size_t requestLength, std::size_t answerLength)
{
    awaiting_ = answerLength > 0;
    expected_ = answerLength;
    slot_ = Slot(requestLength, answerLength);
    // A held request's slot begins when it goes out.
    deadline_ = std::max(Clock::now(), held_.empty() ? Clock::time_point{} : SendDue()) + slot_;
    ArmInputWake();
}

void TCommUnit::Woken()
{
    try {
        SendHeld();
    } catch (const std::exception& e) {
        held_.Clear();  // the master sees no answer
        Notice(std::string("Writing to the port failed: ") + e.what());
    }
    ReleaseTick();
}

fdl::Duration TCommUnit::LearnedAllowance() const
{
    const fdl::Duration setting = std::chrono::milliseconds(allowance_);
    if (delayCount_ == 0) return setting;
    const std::size_t count = std::min(delayCount_, LearnFrom);
    const fdl::Duration largest = *std::max_element(delays_.begin(), delays_.begin() + static_cast<long>(count));
    // A quarter more and 2 ms: the next answer may be a little slower.
    const fdl::Duration learned = std::min<fdl::Duration>(largest + largest / 4 + std::chrono::milliseconds(2),
                                                          std::chrono::milliseconds(MaxAdapterAllowance));
    // Never below the setting: a loaded machine may answer slower than the quiet moments taught.
    return std::max(setting, learned);
}

// The answer's delay beyond its own time after the request: what the
// adapter (both ways) and the slave's turn-around added. Only the first
// telegram after a write counts, and only up to LearnBeyond after its slot:
// what comes later is no answer of this request.
void TCommUnit::Learn(const TWirePiece& piece)
{
    if (learned_ || sentAt_ == Clock::time_point{} || piece.arrived > sentAt_ + slot_ + LearnBeyond) return;
    learned_ = true;
    const auto earliest =
        sentAt_ + fdl::EarliestAnswer(sentLength_, piece.bytes.size(), static_cast<int>(port_->Baud()));
    const auto delay = std::chrono::duration_cast<fdl::Duration>(piece.arrived - earliest);
    delays_[delayCount_++ % LearnFrom] = std::max(delay, fdl::Duration::zero());
}

// A telegram cannot answer the request awaiting one when its first byte
// came before the request went out or its last sooner than it could have
// been sent.
bool TCommUnit::Late(const TWirePiece& piece) const
{
    if (!awaiting_) return false;
    if (!held_.empty() || piece.first < sentAt_) return true;
    const auto earliest =
        sentAt_ + fdl::EarliestAnswer(sentLength_, piece.bytes.size(), static_cast<int>(port_->Baud()));
    return piece.arrived + fdl::StampTolerance < earliest;
}

void TCommUnit::AnswerIn()
{
    awaiting_ = false;
    expected_ = 0;
    ArmInputWake();
}

bool TCommUnit::LineBusy() const
{
    if (!awaiting_) return false;
    return Clock::now() < deadline_ || (rxCount_ > 0 && rxTime_[0] <= deadline_);
}

void TCommUnit::ReleaseTick()
{
    if (!tickDue_ || LineBusy()) return;
    awaiting_ = false;  // the slot ran out: the request stays unanswered
    tickDue_ = false;
    tickCount_ = 0;
    if (onTelegram_) onTelegram_(TByteString());
}

// The port tells when the bytes still missing of the awaited answer wait.
void TCommUnit::ArmInputWake()
{
    std::size_t missing = 0;
    if (awaiting_ && expected_ > 0) {
        // Once the answer has begun, its head tells its length (an SD3 or an
        // SD1 in place of a longer SD2, say); until then the length awaited.
        const auto count = static_cast<std::size_t>(rxCount_);
        const fdl::TCut front = fdl::Cut(rxBuffer_.data(), count);
        const std::size_t whole =
            front.kind == fdl::TCutKind::Incomplete && front.length > 0 ? front.length : expected_;
        missing = whole > count ? whole - count : 1;
    }
    if (port_->Open() && port_->AvailThreshold() != missing)
        port_->SetAvailThreshold(static_cast<std::uint16_t>(std::min<std::size_t>(missing, BufferSize)));
}

// Takes waiting bytes while the buffer has room; true when it filled up
// with more still waiting.
bool TCommUnit::TakeInput()
{
    if (!port_->Open()) return false;
    while (port_->InputAvailable()) {
        if (rxCount_ >= BufferSize - 1) return true;
        const auto at = static_cast<std::size_t>(rxCount_++);
        // Each byte with the time the port read it, and whether it came bad.
        TInputMark mark;
        rxBuffer_[at] = port_->ReadByte(mark);
        rxTime_[at] = mark.arrived != Clock::time_point{} ? mark.arrived : Clock::now();
        rxBad_[at] = mark.bad;
    }
    return false;
}

// A started telegram is dropped once its own time on the line and the
// allowance have passed since its first byte; one whose bytes are still
// coming (an adapter or a loaded machine that delivers in bursts) is given
// the allowance after its newest byte.
bool TCommUnit::Expired(const fdl::TCut& cut, Clock::time_point now) const
{
    const std::size_t length = std::max(cut.length, fdl::SD2HeadLength);
    const auto allowance = std::max<fdl::Duration>(std::chrono::milliseconds(allowance_), LearnedAllowance());
    const auto own = fdl::LineTime(length, static_cast<int>(port_->Baud()));
    return now > rxTime_[0] + own + allowance && now > rxTime_[static_cast<std::size_t>(rxCount_) - 1] + allowance;
}

void TCommUnit::CutBuffer()
{
    const Clock::time_point now = Clock::now();
    while (rxCount_ > 0) {
        const auto count = static_cast<std::size_t>(rxCount_);
        fdl::TCut cut = fdl::Cut(rxBuffer_.data(), count);
        if (cut.kind == fdl::TCutKind::Incomplete) {
            // A full buffer cannot hold more of it: no telegram is that long.
            if (count < BufferSize - 1 && !Expired(cut, now)) return;
            cut = fdl::Expire(rxBuffer_.data(), count);
        }
        const std::size_t length = std::min(std::max<std::size_t>(cut.length, 1), count);
        // The driver's word on a character outweighs the check sum's.
        if (cut.kind != fdl::TCutKind::Noise && HoldsBadByte(length))
            cut = {fdl::TCutKind::Corrupt, length, fdl::TFault::Parity};
        TWirePiece piece{cut.kind, cut.fault, TByteString(rxBuffer_.data(), length), rxTime_[length - 1], rxTime_[0]};
        if (cut.kind == fdl::TCutKind::Complete && Late(piece)) {
            piece.kind = fdl::TCutKind::Corrupt;
            piece.late = true;
            ++counts_.late;
            holdUntil_ = {};  // whatever it answered is over: the idle time counts from it
        } else {
            Count(cut);
        }
        if (piece.kind == fdl::TCutKind::Complete) Learn(piece);
        DropFront(static_cast<int>(length));  // first: the handlers may read or empty the buffer
        if (onWire_) onWire_(piece);
        if (piece.kind != fdl::TCutKind::Complete) continue;
        if (taker_)
            taker_(piece.bytes);
        else if (onTelegram_)
            onTelegram_(piece.bytes);
    }
}

void TCommUnit::Count(const fdl::TCut& cut)
{
    if (cut.kind == fdl::TCutKind::Noise) counts_.noiseBytes += cut.length;
    if (cut.kind != fdl::TCutKind::Corrupt) return;
    switch (cut.fault) {
    case fdl::TFault::CheckSum: ++counts_.checkSum; break;
    case fdl::TFault::Length: ++counts_.length; break;
    case fdl::TFault::EndByte: ++counts_.endByte; break;
    case fdl::TFault::Parity: ++counts_.parity; break;
    default: ++counts_.timeout; break;
    }
}

bool TCommUnit::HoldsBadByte(std::size_t length) const
{
    return std::any_of(rxBad_.begin(), rxBad_.begin() + static_cast<std::ptrdiff_t>(length), [](bool b) { return b; });
}

void TCommUnit::DropFront(int count)
{
    const int taken = std::min(count, rxCount_);
    const auto rest = static_cast<std::size_t>(rxCount_ - taken);
    std::memmove(rxBuffer_.data(), rxBuffer_.data() + taken, rest);
    std::copy_n(rxTime_.begin() + taken, rest, rxTime_.begin());
    std::copy_n(rxBad_.begin() + taken, rest, rxBad_.begin());
    rxCount_ -= taken;
}

void TCommUnit::ClearBuffer()
{
    rxCount_ = 0;
    rxBuffer_.fill(0);
}

void TCommUnit::SetListenOnly(bool on)
{
    port_->SetListenOnly(on);
    held_.Clear();
    if (on && port_->Open()) port_->SetRTS(false);
}

bool TCommUnit::Write(const TByteString& bytes)
{
    CheckDevice();
    if (deviceLost_ || refused_ || port_->ListenOnly()) return false;
    if (!port_->Open()) {
        port_->WriteString(bytes);  // the component opens it or raises why not
        return true;
    }
    // An answer may still come: the request waits for it or its slot.
    holdUntil_ = awaiting_ && LineBusy() ? deadline_ : Clock::time_point{};
    held_ = bytes;
    SendHeld();
    return true;
}

TCommUnit::Clock::time_point TCommUnit::SendDue() const
{
    const Clock::time_point heard = port_->Open() ? port_->LastInputArrival() : Clock::time_point{};
    const Clock::time_point quiet =
        std::max({heard, rxCount_ > 0 ? rxTime_[static_cast<std::size_t>(rxCount_) - 1] : heard, sentEnd_});
    return std::max(quiet + fdl::SyncTime(static_cast<int>(port_->Baud())), holdUntil_);
}

void TCommUnit::SendHeld()
{
    if (held_.empty()) return;
    if (deviceLost_ || refused_) {
        held_.Clear();
        return;
    }
    const Clock::time_point now = Clock::now();
    const Clock::time_point due = SendDue();
    if (now < due) {
        pollTimer_->WakeAt(due);
        return;
    }
    const TByteString bytes = std::move(held_);
    held_.Clear();
    port_->WriteString(bytes);
    sentAt_ = now;
    sentLength_ = bytes.size();
    sentEnd_ = now + fdl::LineTime(bytes.size(), static_cast<int>(port_->Baud()));
    learned_ = false;
    if (awaiting_) deadline_ = now + slot_;
}

void TCommUnit::CheckDevice()
{
    if (!deviceLost_ && port_->Open() && port_->DeviceGone()) LoseDevice();
}

void TCommUnit::LoseDevice()
{
    // The system's word for it, for a reader who must tell a pulled adapter
    // from a driver fault.
    const int error = port_->DeviceGoneError();
    std::string why = error > 0 ? SystemErrorDescription(error) : "";
    if (!why.empty()) why = " (" + why + ")";
    port_->ClosePort();
    ClearBuffer();
    AnswerIn();  // nothing comes from a lost device
    deviceLost_ = true;
    reopenCountdown_ = PollsPer(ReopenPeriod);
    Notice("Port " + ComName(port_->ComNumber()) + " (" + openedPath_ + ") lost, waiting for it" + why);
}

void TCommUnit::TryReopen()
{
    reopenCountdown_ = PollsPer(ReopenPeriod);  // when it fails: try again in a second
    // The number may name another device by now: only the same path is reopened.
    if (porttable::ResolveComPort(port_->ComNumber()) != openedPath_) return;
    try {
        port_->OpenPort();
    } catch (const std::exception&) {
        return;
    }
    deviceLost_ = false;
    Notice("Port " + ComName(port_->ComNumber()) + " (" + openedPath_ + ") is back");
}
