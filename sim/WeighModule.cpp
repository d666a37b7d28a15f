#include "WeighModule.h"

#include <cstring>

namespace sim {

namespace {

constexpr double kStep = 0.010;        // seconds per model step
constexpr double kMaxFineGap = 10.0;   // longer pauses are run in 1000 steps

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
    : number_(number), scale_(params_, 60.0 + 25.0 * number, seed + static_cast<std::uint32_t>(number)), clock_(start)
{
}

void TWeighModule::Advance(SimTime now)
{
    const double gap = std::chrono::duration<double>(now - clock_).count();
    if (gap <= 0) return;
    const double dt = gap > kMaxFineGap ? gap / 1000 : kStep;
    double done = 0;
    while (gap - done >= dt - 1e-9) {
        Step(dt);
        done += dt;
    }
    clock_ += std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(done));
}

void TWeighModule::Step(double dt) { scale_.Step(dt); }

TCommandResult TWeighModule::Execute(std::uint8_t cmd, std::uint8_t index, std::int32_t value, SimTime now)
{
    Advance(now);
    const bool open = params_.calibrationOpen;
    switch (cmd) {
    case 0x03:
    case 0x04: return Calibration(cmd, index, value);
    case 0x0E: return TCommandResult::Read(FloatBits(scale_.Gross()));
    case 0x0F: return TCommandResult::Read(FloatBits(scale_.Net()));
    case 0x10: return TCommandResult::Read(scale_.RawCounts());
    case 0x11: return TCommandResult::Read(FloatBits(scale_.Tare()));
    case 0x0A: return TCommandResult::Read(FloatBits(scale_.Average(params_.standard[standard::AveragingCount])));
    case 0x12: return params_.standard.Read(index);
    case 0x1F: return params_.standard.Write(index, value, open);
    case 0x1A: scale_.ResetTare(); return TCommandResult::Done(0);
    case 0x1B: scale_.ResetZero(); return TCommandResult::Done(0);
    case 0x1E: return scale_.SetTare();
    case 0x20: return scale_.SetZero();
    case 0x23: return TCommandResult::Read(static_cast<std::int32_t>(Status()));
    case 0x26: return index & 0x80 ? params_.trigger.Write(index & 0x7F, value, open) : params_.trigger.Read(index);
    case 0x06: return index & 0x80 ? params_.filling.Write(index & 0x7F, value, open) : params_.filling.Read(index);
    case 0x2A: return index & 0x80 ? params_.massflow.Write(index & 0x7F, value, open) : params_.massflow.Read(index);
    default: return TCommandResult::Error(errNotImplemented);
    }
}

TCommandResult TWeighModule::Calibration(std::uint8_t cmd, std::uint8_t index, std::int32_t value)
{
    const bool write = cmd == 0x04;
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
        return scale_.CalibrateZero();
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
    if (params_.standard[standard::ZeroTracking]) s |= 0x0400;
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

std::array<std::uint8_t, TWeighModule::kBlockBytes> TWeighModule::Block() const
{
    std::array<std::uint8_t, kBlockBytes> b{};
    PutBigEndian(&b[0], static_cast<std::uint32_t>(FloatBits(scale_.Gross())), 4);
    PutBigEndian(&b[4], static_cast<std::uint32_t>(FloatBits(scale_.Net())), 4);
    PutBigEndian(&b[8], Qualifier(), 2);
    b[10] = 0;  // limit status: the setpoints
    const std::uint32_t status = Status();
    b[11] = static_cast<std::uint8_t>(status);
    b[12] = static_cast<std::uint8_t>(status >> 8);
    b[13] = 'W';
    b[14] = 'Z';
    b[15] = static_cast<std::uint8_t>(number_);
    return b;
}

}  // namespace sim
