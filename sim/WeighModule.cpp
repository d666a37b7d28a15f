#include "WeighModule.h"

#include <cstring>

namespace sim {

namespace {

constexpr double ModelStep = 0.010;  // seconds per model step
constexpr double MaxFineGap = 10.0;  // longer pauses are run in 1000 steps
constexpr Millis SaveTime{200};
constexpr Millis FactoryDefaultTime{500};
constexpr std::int32_t HardwareRevision = 0x0003;
constexpr std::int32_t SoftwareVersion = 0x0215;  // 2.15
constexpr std::int32_t BaseDeviceId = 2301000;
constexpr std::int32_t ReferenceCounts = 7340032;

void PutBigEndian(std::uint8_t* out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
}

}  // namespace

std::int32_t FloatBits(double value)
{
    const float f = static_cast<float>(value);
    std::int32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

TWeighModule::TWeighModule(int number, std::uint32_t seed, SimTime start)
    : number_(number),
      scale_(params_, 60.0 + 25.0 * number, seed * 8 + static_cast<std::uint32_t>(number)),
      trigger_(params_, scale_),
      filling_(params_, scale_),
      massFlow_(params_, scale_),
      clock_(start)
{
}

void TWeighModule::Advance(SimTime now)
{
    const double gap = std::chrono::duration<double>(now - clock_).count();
    if (gap <= 0) return;
    const double dt = gap > MaxFineGap ? gap / 1000 : ModelStep;
    double done = 0;
    while (gap - done >= dt - 1e-9) {
        Step(dt);
        done += dt;
    }
    clock_ += std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(done));
}

void TWeighModule::Step(double dt)
{
    filling_.Step(dt);
    massFlow_.Step(dt);
    scale_.Step(dt);
    trigger_.Step(dt);
    setpoints_.Update(params_, scale_.Gross(), scale_.Net());
}

TCommandResult TWeighModule::Execute(std::uint8_t cmd, std::uint8_t index, std::int32_t value, SimTime now)
{
    Advance(now);
    return Dispatch(cmd, index, value, now);
}

TCommandResult TWeighModule::Dispatch(std::uint8_t cmd, std::uint8_t index, std::int32_t value, SimTime now)
{
    const auto weight = [](double kg) { return TCommandResult::Read(FloatBits(kg)); };
    switch (cmd) {
    case 0x01: return filling_.Abort();
    case 0x03:
    case 0x04: return Calibration(cmd, index, value);
    case 0x05: return TCommandResult::Read(static_cast<std::int32_t>(filling_.Status()));
    case 0x06: return PageCommand(params_.filling, index, value, saveDosing);
    case 0x08: return FactoryDefaults(now);
    case 0x0A:
        return weight(trigger_.HasAverage() ? trigger_.Average()
                                            : scale_.Average(params_.standard[standard::AveragingCount]));
    case 0x0B: return weight(filling_.LastDosed());
    case 0x0C: return weight(filling_.LastTare());
    case 0x0E: return weight(scale_.Gross());
    case 0x0F: return weight(scale_.Net());
    case 0x10: return TCommandResult::Read(scale_.RawCounts());
    case 0x11: return weight(scale_.Tare());
    case 0x12: return params_.standard.Read(index);
    case 0x14: return TCommandResult::Read(HardwareRevision);
    case 0x15: return TCommandResult::Read(BaseDeviceId + number_);
    case 0x16: return TCommandResult::Read(0);                     // no input wired
    case 0x17: return TCommandResult::Read(LimitStatus() & 0x03);  // outputs follow setpoints 0 and 1
    case 0x19: return TCommandResult::Read(ReferenceCounts + (scale_.RawCounts() & 0x03));
    case 0x1A: scale_.ResetTare(); return TCommandResult::Done(0);
    case 0x1B: scale_.ResetZero(); return TCommandResult::Done(0);
    case 0x1C: return Save(index, now);
    case 0x1D: {
        TCommandResult result = setpoints_.Command(index, value);
        if (result.stat == StatDone) unsaved_ |= saveSetpoints;
        return result;
    }
    case 0x1E: return scale_.SetTare();
    case 0x1F: {
        TCommandResult result = params_.standard.Write(index, value, params_.calibrationOpen);
        if (result.Succeeded()) unsaved_ |= saveSetup;
        return result;
    }
    case 0x20: return scale_.SetZero();
    case 0x22: return filling_.StartProgram();
    case 0x23: return TCommandResult::Read(static_cast<std::int32_t>(Status()));
    case 0x24: return filling_.Trigger();
    case 0x25: return TCommandResult::Read(SoftwareVersion);
    case 0x26: {
        TCommandResult result = PageCommand(params_.trigger, index, value, saveSetup);
        if (result.stat == StatDone) trigger_.Rearm();
        return result;
    }
    case 0x29: return MassFlowCommand(index, value);
    case 0x2A: return PageCommand(params_.massflow, index, value, saveMassFlow);
    case 0x2B: return Linearisation(index, value);
    case 0x2C:
        scale_.ClearLinearisation();
        unsaved_ |= saveCalibration;
        return TCommandResult::Done(0);
    default: return TCommandResult::Error(errNotImplemented);
    }
}

TCommandResult TWeighModule::PageCommand(TParamTable& page, std::uint8_t index, std::int32_t value, std::uint8_t group)
{
    if (!(index & 0x80)) return page.Read(index);
    TCommandResult result = page.Write(index & 0x7F, value, params_.calibrationOpen);
    if (result.Succeeded()) unsaved_ |= group;
    return result;
}

TCommandResult TWeighModule::Linearisation(std::uint8_t index, std::int32_t value)
{
    const int point = index & 0x0F;
    const int what = index >> 4;
    if (point >= TScale::LinPoints || (what != 1 && what != 2 && what != 4 && what != 5))
        return TCommandResult::Error(errBadCalId);
    if (what == 1) return TCommandResult::Read(scale_.LinX(point));
    if (what == 2) return TCommandResult::Read(scale_.LinY(point));
    if (value < -2 * params_.capacity || value > 2 * params_.capacity) return TCommandResult::Error(errBadCalValue);
    if (what == 4)
        scale_.SetLinX(point, value);
    else
        scale_.SetLinY(point, value);
    unsaved_ |= saveCalibration;
    return TCommandResult::Done(value);
}

TCommandResult TWeighModule::MassFlowCommand(std::uint8_t index, std::int32_t value)
{
    switch (index) {
    case 0x01: return TCommandResult::Read(massFlow_.ControlWord());
    case 0x02: return TCommandResult::Read(static_cast<std::int32_t>(massFlow_.Status()));
    case 0x03: return TCommandResult::Read(FloatBits(massFlow_.Flow()));
    case 0x04: return TCommandResult::Read(FloatBits(massFlow_.Trend()));
    case 0x05: return TCommandResult::Read(FloatBits(massFlow_.Total()));
    case 0x81: return massFlow_.Control(value);
    default: return TCommandResult::Error(errBadFlowValueId);
    }
}

TCommandResult TWeighModule::Save(std::uint8_t mask, SimTime now)
{
    if (mask != saveCalibration && mask != saveSetup && mask != saveDosing && mask != saveSetpoints &&
        mask != saveMassFlow)
        return TCommandResult::Error(errBadGenValueId);
    if (mask == saveCalibration) {
        if (!params_.calibrationOpen) return TCommandResult::Error(errCalNotOpen);
        ++params_.calibrationCounter;
    }
    unsaved_ &= static_cast<std::uint8_t>(~mask);
    TCommandResult result = TCommandResult::Done(mask);
    result.readyAt = now + SaveTime;  // writing the non-volatile memory takes a moment
    return result;
}

TCommandResult TWeighModule::FactoryDefaults(SimTime now)
{
    if (!params_.calibrationOpen) return TCommandResult::Error(errCalNotOpen);
    params_.ResetSetup();
    setpoints_.Reset();
    scale_.ClearLinearisation();
    scale_.ResetTare();
    scale_.ResetZero();
    filling_.Abort();
    massFlow_.Stop();
    unsaved_ = 0;
    TCommandResult result = TCommandResult::Done(0);
    result.readyAt = now + FactoryDefaultTime;
    return result;
}

TCommandResult TWeighModule::Calibration(std::uint8_t cmd, std::uint8_t index, std::int32_t value)
{
    const bool write = cmd == 0x04;
    TCommandResult result = CalibrationValue(write, index, value);
    if (write && index != calib::Enable && result.Succeeded()) unsaved_ |= saveCalibration;
    return result;
}

TCommandResult TWeighModule::CalibrationValue(bool write, std::uint8_t index, std::int32_t value)
{
    if (write && index != calib::Enable && !params_.calibrationOpen) {
        const bool known = index == calib::Gain || index == calib::Max || index == calib::Zero ||
                           index == calib::DecimalPoint || index == calib::StepSize;
        return TCommandResult::Error(known ? errCalNotOpen : errBadCalId);
    }
    switch (index) {
    case calib::Counter:
        if (write) return TCommandResult::Error(errBadCalId);
        return TCommandResult::Read(params_.calibrationCounter);
    case calib::Enable:
        if (!write) return TCommandResult::Read(params_.calibrationOpen ? 1 : 0);
        if (value != 0 && value != 1) return TCommandResult::Error(errBadCalValue);
        params_.calibrationOpen = value == 1;
        return TCommandResult::Done(value);
    case calib::Gain:
        if (!write) return TCommandResult::Read(params_.calibrationValue);
        {
            TCommandResult result = scale_.CalibrateGain(value);
            if (result.Succeeded()) params_.calibrationValue = value;
            return result;
        }
    case calib::Max:
        if (!write) return TCommandResult::Read(params_.capacity);
        if (value <= 0 || value > 9999999) return TCommandResult::Error(errBadCalValue);
        params_.capacity = value;
        return TCommandResult::Done(value);
    case calib::Zero:
        if (!write) return TCommandResult::Read(scale_.ZeroCounts());
        // 0 zeroes at the present load (the CZ key); any other value is a
        // zero point read earlier, put back.
        if (value == 0) return scale_.CalibrateZero();
        scale_.SetZeroCounts(value);
        return TCommandResult::Done(value);
    case calib::DecimalPoint:
        if (!write) return TCommandResult::Read(params_.decimalPoint);
        if (value < 0 || value > 4) return TCommandResult::Error(errBadCalValue);
        params_.decimalPoint = value;
        return TCommandResult::Done(value);
    case calib::StepSize:
        if (!write) return TCommandResult::Read(params_.stepSize);
        if (value != 1 && value != 2 && value != 5 && value != 10 && value != 20 && value != 50 && value != 100)
            return TCommandResult::Error(errBadCalValue);
        params_.stepSize = value;
        return TCommandResult::Done(value);
    default: return TCommandResult::Error(errBadCalId);
    }
}

std::uint32_t TWeighModule::Status() const
{
    std::uint32_t s = 0;
    if (scale_.Stable()) s |= 0x0001;
    if (scale_.NetMode()) s |= 0x0002;
    if (scale_.CenterOfZero()) s |= 0x0004;
    if (scale_.Overload()) s |= 0x0008;
    if (scale_.Underload()) s |= 0x0010;
    if (params_.calibrationOpen) s |= 0x0020;
    if (unsaved_) s |= 0x0040;
    if (filling_.Running()) s |= 0x0080;
    if (massFlow_.State() == TMassFlow::Running) s |= 0x0100;
    if (trigger_.Holding()) s |= 0x0200;
    if (params_.standard[standard::ZeroTracking]) s |= 0x0400;
    if (massFlow_.Refilling()) s |= 0x0800;
    if (trigger_.Measuring()) s |= 0x1000;
    return s;
}

std::uint16_t TWeighModule::Qualifier() const
{
    std::uint16_t q = 0x0001;  // valid
    if (scale_.Stable()) q |= 0x0002;
    if (scale_.NetMode()) q |= 0x0004;
    if (scale_.CenterOfZero()) q |= 0x0008;
    if (scale_.Overload()) q |= 0x0010;
    if (scale_.Underload()) q |= 0x0020;
    q |= static_cast<std::uint16_t>((params_.decimalPoint & 0x0F) << 8);
    return q;
}

std::uint8_t TWeighModule::LimitStatus() const
{
    std::uint8_t limits = setpoints_.States();
    if (filling_.CoarseFeed()) limits |= 0x10;
    if (filling_.FineFeed()) limits |= 0x20;
    if (massFlow_.FeederOn()) limits |= 0x40;
    if (massFlow_.Refilling()) limits |= 0x80;
    return limits;
}

std::array<std::uint8_t, TWeighModule::BlockBytes> TWeighModule::Block() const
{
    std::array<std::uint8_t, BlockBytes> b{};
    PutBigEndian(&b[0], static_cast<std::uint32_t>(FloatBits(scale_.Gross())), 4);
    PutBigEndian(&b[4], static_cast<std::uint32_t>(FloatBits(scale_.Net())), 4);
    PutBigEndian(&b[8], Qualifier(), 2);
    b[10] = LimitStatus();
    const std::uint32_t status = Status();
    b[11] = static_cast<std::uint8_t>(status);
    b[12] = static_cast<std::uint8_t>(status >> 8);
    b[13] = 'W';
    b[14] = 'Z';
    b[15] = static_cast<std::uint8_t>(number_);
    return b;
}

}  // namespace sim
