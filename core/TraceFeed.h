// Hands the master's trace entries to a recorder: a received telegram or
// dropped bytes inbound, stamped with the time their last byte arrived;
// what the master wrote outbound; comments as packets without bytes. The
// stamps are the steady clock's, moved once onto the system clock, so they
// keep the order the channel saw (the recorder writes them in that order).
#pragma once

#include "dp/Profi_dp.h"
#include "trace/TraceRecorder.h"

// The recorder must outlive the handler's use.
T_DPV0::TTraceEvent TraceFeed(TTraceRecorder& recorder);
