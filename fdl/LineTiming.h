// The line's timing beyond a telegram's own length: the idle time a station
// needs before a request to find its start (TSYN), the earliest moment an
// answer can have been completed, and what an adapter adds to an exchange.
// Used by the serial channel and the slave simulator alike.
#pragma once

#include "Framing.h"

#include <chrono>
#include <cstddef>

namespace fdl {

constexpr int TsynBits = 33;  // idle line before each request

// The time `bits` bit times take at `baud`, rounded up.
Duration BitTime(int bits, int baud);
// The idle line a station needs before a request: 33 bit times (1.72 ms at 19200).
inline Duration SyncTime(int baud) { return BitTime(TsynBits, baud); }
// The least time from writing a request of `requestLength` bytes to the
// last byte of an answer of `answerLength` bytes: the request's own time,
// the min TSDR and the answer's own time. An earlier telegram cannot answer
// this request: it is late for one before it.
Duration EarliestAnswer(std::size_t requestLength, std::size_t answerLength, int baud);
// How far the stamps of a write and of received bytes may be off against
// each other (the threads that take them are scheduled apart).
constexpr Duration StampTolerance{1000};
// An adapter delays both ways: received bytes up to its latency (the
// allowance), sent bytes by up to one USB frame and the driver's turn.
constexpr Duration MaxSendDelay{2000};
Duration SendDelay(Duration allowance);

}  // namespace fdl
