#include "Setpoints.h"

namespace sim {

namespace {

constexpr std::int32_t Big = 9999999;

}  // namespace

void TSetpoints::Reset()
{
    for (int p = 0; p < Points; ++p) {
        limit_[static_cast<std::size_t>(p)] = 1000 * (p + 1);
        hysteresis_[static_cast<std::size_t>(p)] = 10;
        source_[static_cast<std::size_t>(p)] = 0;
    }
    states_ = 0;
}

TCommandResult TSetpoints::Command(std::uint8_t index, std::int32_t value)
{
    const int point = index & 0x0F;
    const int what = index >> 4;
    if (point >= Points) return TCommandResult::Error(errBadGenValueId);
    const auto p = static_cast<std::size_t>(point);
    switch (what) {
    case 0x3: return TCommandResult::Read(limit_[p]);
    case 0x2: return TCommandResult::Read(hysteresis_[p]);
    case 0x1: return TCommandResult::Read(source_[p]);
    case 0x6:
        if (value < -Big || value > Big) return TCommandResult::Error(errBadGenParamValue);
        limit_[p] = value;
        return TCommandResult::Done(value);
    case 0x5:
        if (value < 0 || value > Big) return TCommandResult::Error(errBadGenParamValue);
        hysteresis_[p] = value;
        return TCommandResult::Done(value);
    case 0x4:
        if (value != 0 && value != 1) return TCommandResult::Error(errBadGenParamValue);
        source_[p] = value;
        return TCommandResult::Done(value);
    default: return TCommandResult::Error(errBadGenValueId);
    }
}

void TSetpoints::Update(const TModuleParams& params, double grossKg, double netKg)
{
    for (int point = 0; point < Points; ++point) {
        const auto p = static_cast<std::size_t>(point);
        const double weight = source_[p] ? netKg : grossKg;
        const auto bit = static_cast<std::uint8_t>(1u << point);
        if (weight >= params.Kg(limit_[p]))
            states_ |= bit;
        else if (weight < params.Kg(limit_[p] - hysteresis_[p]))
            states_ &= static_cast<std::uint8_t>(~bit);
    }
}

}  // namespace sim
