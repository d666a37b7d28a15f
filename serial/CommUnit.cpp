#include "CommUnit.h"

#include "PortTable.h"
#include "TelegramCut.h"
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
    port_->SetRTS(true);
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
    if (deviceLost_) {
        if (--reopenCountdown_ <= 0) TryReopen();
    } else {
        PollInput();
    }
    CheckDevice();
    if (++tickCount_ >= PollsPer(TickPeriod)) {
        if (onTelegram_) onTelegram_(TByteString());
        tickCount_ = 0;
    }
}

void TCommUnit::PollInput()
{
    if (deviceLost_) return;
    int added = 0;
    bool got = false;
    TakeInput(added, got);
    if (got) ExtractTelegrams(added);
    ArmInputWake();
}

void TCommUnit::SetWakeOnInput(bool on)
{
    wakeOnInput_ = on;
    if (on)
        port_->SetOnTriggerAvail([this](TVeltCustomComPort&, unsigned) { PollInput(); });
    else
        port_->SetOnTriggerAvail(nullptr);
    ArmInputWake();
}

void TCommUnit::ExpectTelegram(std::size_t length)
{
    expected_ = length;
    ArmInputWake();
}

// The port tells when the bytes still missing of the awaited telegram wait.
void TCommUnit::ArmInputWake()
{
    std::size_t missing = 0;
    if (wakeOnInput_ && expected_ > 0)
        missing = expected_ > static_cast<std::size_t>(rxCount_) ? expected_ - static_cast<std::size_t>(rxCount_) : 1;
    if (port_->Open() && port_->AvailThreshold() != missing)
        port_->SetAvailThreshold(static_cast<std::uint16_t>(std::min<std::size_t>(missing, BufferSize)));
}

void TCommUnit::TakeInput(int& added, bool& got)
{
    if (!port_->Open()) return;
    while (port_->InputAvailable()) {
        rxBuffer_[static_cast<std::size_t>(rxCount_)] = port_->ReadByte();
        if (rxCount_ >= BufferSize - 1) {
            // A byte beyond 255 drops the whole buffer, itself included.
            rxCount_ = 0;
            added = 0;
        } else {
            ++rxCount_;
            ++added;
            got = true;
        }
    }
}

void TCommUnit::ExtractTelegrams(int added)
{
    if (rxCount_ == 0) return;
    const auto cut = telegram::CutTelegram(rxBuffer_.data(), static_cast<std::size_t>(rxCount_),
                                           static_cast<std::size_t>(std::max(added, 0)));
    if (cut.kind == telegram::TCut::Discard) {
        rxCount_ = 0;
        ++dropped_;
        return;
    }
    if (cut.skip > 0) ++dropped_;
    DropFront(static_cast<int>(cut.skip));  // corrupt heads and what follows them up to the next start
    if (cut.kind != telegram::TCut::Recognised) return;
    expected_ = 0;  // the handler may announce the next one
    const TByteString whole(rxBuffer_.data(), static_cast<std::size_t>(rxCount_));
    if (onTelegram_) onTelegram_(whole);
    // The handler may have emptied the buffer; never take more than is left.
    DropFront(static_cast<int>(cut.length));
}

void TCommUnit::DropFront(int count)
{
    const int taken = std::min(count, rxCount_);
    std::memmove(rxBuffer_.data(), rxBuffer_.data() + taken, static_cast<std::size_t>(rxCount_ - taken));
    rxCount_ -= taken;
}

void TCommUnit::ClearBuffer()
{
    rxCount_ = 0;
    rxBuffer_.fill(0);
}

bool TCommUnit::SumMatches(const std::uint8_t* bytes, int count)
{
    return telegram::SumMatches(bytes, static_cast<std::size_t>(std::max(count, 0)));
}

bool TCommUnit::Write(const TByteString& bytes)
{
    CheckDevice();
    if (deviceLost_ || refused_) return false;
    port_->WriteString(bytes);
    return true;
}

void TCommUnit::CheckDevice()
{
    if (!deviceLost_ && port_->Open() && port_->DeviceGone()) LoseDevice();
}

void TCommUnit::LoseDevice()
{
    port_->ClosePort();
    ClearBuffer();
    deviceLost_ = true;
    reopenCountdown_ = PollsPer(ReopenPeriod);
    Notice("Port " + ComName(port_->ComNumber()) + " (" + openedPath_ + ") lost, waiting for it");
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
