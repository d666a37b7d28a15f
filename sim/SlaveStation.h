// A DP slave station with 1..8 weighing modules: the DP state machine, the
// command channel and the modules' cyclic blocks, put together.
#pragma once

#include "CommandChannel.h"
#include "DpSlave.h"
#include "WeighModule.h"

#include <memory>
#include <vector>

namespace sim {

class TSlaveStation {
public:
    static constexpr int MaxModules = 8;

    TSlaveStation(std::uint8_t address, int moduleCount, std::uint32_t seed, SimTime start);

    TDpSlave& Dp() { return dp_; }
    const TDpSlave& Dp() const { return dp_; }
    TWeighModule& Module(int k) { return *modules_[static_cast<std::size_t>(k)]; }
    int ModuleCount() const { return static_cast<int>(modules_.size()); }
    const TCommandChannel& Channel() const { return channel_; }

    // Input data for the master's output data: 8 channel bytes, then 16 per module.
    TByteString Exchange(const TByteString& outputs, SimTime now);

private:
    TCommandResult Execute(const TCommand& command, SimTime now);

    std::vector<std::unique_ptr<TWeighModule>> modules_;
    TCommandChannel channel_;
    TDpSlave dp_;
};

}  // namespace sim
