#include "ParamTable.h"

#include <algorithm>

namespace sim {

TParamTable::TParamTable(std::vector<TParamSpec> specs, TModuleError badId, TModuleError badValue)
    : specs_(std::move(specs)), badId_(badId), badValue_(badValue)
{
    Reset();
}

TCommandResult TParamTable::Read(int number) const
{
    if (!Has(number)) return TCommandResult::Error(badId_);
    return TCommandResult::Read((*this)[number]);
}

TCommandResult TParamTable::Write(int number, std::int32_t value, bool calibrationOpen)
{
    if (!Has(number)) return TCommandResult::Error(badId_);
    const TParamSpec& spec = specs_[static_cast<std::size_t>(number - 1)];
    if (spec.calibrationGuarded && !calibrationOpen) return TCommandResult::Error(errCalNotOpen);
    const bool listed =
        spec.allowed.empty() || std::find(spec.allowed.begin(), spec.allowed.end(), value) != spec.allowed.end();
    if (value < spec.min || value > spec.max || !listed) return TCommandResult::Error(badValue_);
    values_[static_cast<std::size_t>(number - 1)] = value;
    return TCommandResult::Done(value);
}

void TParamTable::Reset()
{
    values_.clear();
    for (const TParamSpec& spec : specs_) values_.push_back(spec.defaultValue);
}

}  // namespace sim
