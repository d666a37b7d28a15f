#include "SlaveStation.h"

namespace sim {

TSlaveStation::TSlaveStation(std::uint8_t address, int moduleCount, std::uint32_t seed, SimTime start)
    : channel_([this](const TCommand& command, SimTime now) { return Execute(command, now); }),
      dp_(address, moduleCount, [this](const TByteString& outputs, SimTime now) { return Exchange(outputs, now); })
{
    for (int k = 0; k < moduleCount; ++k) modules_.push_back(std::make_unique<TWeighModule>(k, seed, start));
}

TByteString TSlaveStation::Exchange(const TByteString& outputs, SimTime now)
{
    for (auto& module : modules_) module->Advance(now);
    const auto channel = channel_.Exchange(outputs, now);
    TByteString inputs(channel.data(), channel.size());
    for (const auto& module : modules_) {
        const auto block = module->Block();
        inputs.Append(block.data(), block.size());
    }
    return inputs;
}

TCommandResult TSlaveStation::Execute(const TCommand& command, SimTime now)
{
    // A unit address behind which no module sits: the station's call to it
    // times out.
    if (command.unit >= modules_.size()) return TCommandResult::Error(errTimeout);
    return modules_[command.unit]->Execute(command.cmd, command.index, command.value, now);
}

}  // namespace sim
