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
    : TComponent(owner), pollTimer_(timer ? std::move(timer) : std::make_unique<TManualTimer>()),
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
        } catch (const std::exception&) {
            continue;  // a port that does not open is not listed
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
    port_->SetComNumber(comNumber);
    port_->OpenPort();
    port_->SetDTR(true);
    port_->SetRTS(true);
    pollTimer_->SetEnabled(true);
}

void TCommUnit::SelectPort()
{
    port_->ClosePort();
    deviceLost_ = false;
    const std::string text = portCombo_ ? portCombo_->Text() : std::string();
    port_->SetComNumber(ComNumberOf(text));
    port_->OpenPort();
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
    int added = 0;
    bool got = false;
    if (deviceLost_) {
        if (--reopenCountdown_ <= 0) TryReopen();
    } else {
        TakeInput(added, got);
    }
    if (got) ExtractTelegrams(added);
    CheckDevice();
    if (++tickCount_ >= PollsPerTick) {
        if (onTelegram_) onTelegram_(TByteString());
        tickCount_ = 0;
    }
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
    const TByteString whole(rxBuffer_.data(), static_cast<std::size_t>(rxCount_));
    const auto cut = telegram::CutTelegram(rxBuffer_.data(), static_cast<std::size_t>(rxCount_),
                                           static_cast<std::size_t>(std::max(added, 0)));
    if (cut.kind == telegram::TCut::Discard) {
        rxCount_ = 0;
        return;
    }
    if (cut.kind != telegram::TCut::Recognised) return;
    if (onTelegram_) onTelegram_(whole);
    // The handler may have emptied the buffer; never take more than is left.
    const int taken = std::min(static_cast<int>(cut.length), rxCount_);
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
    if (deviceLost_) return false;
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
    reopenCountdown_ = ReopenPolls;
}

void TCommUnit::TryReopen()
{
    try {
        port_->OpenPort();
        deviceLost_ = false;
    } catch (const std::exception&) {
        reopenCountdown_ = ReopenPolls;  // still gone; try again in a second
    }
}
