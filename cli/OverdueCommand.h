// The command channel's watch for a result that is not coming, shared by the
// command-line runs that place commands (backup, restore, calibration check).
#pragma once

#include "core/CommandChannel.h"
#include "core/ResultWait.h"

class T_DPV0;

// Called on every tick: notes the master's state, and when the caller has a
// command out (`placed`) whose result is due or was lost with a restart of
// data exchange, gives the pending command up and returns true.
bool GiveUpOverdueCommand(const T_DPV0& master, TCommandChannel& channel, TResultWait& wait, bool placed,
                          TByteString& output);
