// A numbered set of module parameters (1..N) with their defaults, limits
// and whether a write needs the calibration opened (Calibrate Enable).
#pragma once

#include "CommandResult.h"

#include <cstdint>
#include <vector>

namespace sim {

struct TParamSpec {
    TParamSpec(std::int32_t def, std::int32_t lo, std::int32_t hi, bool guarded = false,
               std::vector<std::int32_t> only = {})
        : defaultValue(def), min(lo), max(hi), calibrationGuarded(guarded), allowed(std::move(only))
    {
    }
    std::int32_t defaultValue;
    std::int32_t min;
    std::int32_t max;
    bool calibrationGuarded;
    std::vector<std::int32_t> allowed;  // when not empty, the only values taken
};

class TParamTable {
public:
    TParamTable(std::vector<TParamSpec> specs, TModuleError badId, TModuleError badValue);

    int Count() const { return static_cast<int>(specs_.size()); }
    bool Has(int number) const { return number >= 1 && number <= Count(); }
    // The value of a parameter that exists (callers use the item constants).
    std::int32_t operator[](int number) const { return values_[static_cast<std::size_t>(number - 1)]; }

    TCommandResult Read(int number) const;
    TCommandResult Write(int number, std::int32_t value, bool calibrationOpen);
    void Reset();  // every parameter back to its default

private:
    std::vector<TParamSpec> specs_;
    std::vector<std::int32_t> values_;
    TModuleError badId_;
    TModuleError badValue_;
};

}  // namespace sim
