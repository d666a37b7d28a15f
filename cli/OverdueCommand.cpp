#include "OverdueCommand.h"

#include "dp/Profi_dp.h"

bool GiveUpOverdueCommand(const T_DPV0& master, TCommandChannel& channel, TResultWait& wait, bool placed,
                          TByteString& output)
{
    const std::uint8_t state = master.CurrentState().State;
    const auto now = TResultWait::TClock::now();
    // A command still pending when data exchange comes back lost its result.
    const bool lost = channel.NoteMasterState(state);
    wait.Note(state == stDataExchange, channel.Pending(), now);
    if (!placed || !channel.Pending() || !(lost || wait.Due(now))) return false;
    wait.Stop();
    channel.GiveUp(output);
    return true;
}
