// A PLC on the simulator's line: one DP master, or two that pass the token
// (SD4) between them, each polling its share of the stations (the first
// master every station at an even place in the list, the second the rest).
// Each station is started up (Slave_Diag, Set_Prm, Chk_Cfg, Slave_Diag,
// Global_Control) and then exchanges data cyclically. Every request waits
// for 33 bit times of idle line; an answer must start within the slot time
// after the request; a request left without a valid answer is repeated once
// with the same frame count bit, and a station that fails twice is started
// up afresh. Every 3 s a master reads one setup parameter of one module
// through the command channel, each in turn. Pure: time is passed in, and
// the telegrams are built and cut with the project's framing.
#pragma once

#include "LineOutput.h"
#include "SimClock.h"
#include "base/ByteString.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

class TPlantMaster {
public:
    struct TStation {
        std::uint8_t address;
        int modules;
    };

    // `baud` is the line's; `params` the count of a module's setup
    // parameters (numbered from 1).
    TPlantMaster(std::uint8_t firstMaster, int masters, std::vector<TStation> stations, long baud, int params,
                 SimTime start);

    // The telegram a master puts on the line at `now`, when one is due.
    std::optional<TByteString> Poll(SimTime now);
    // Bytes the stations put on the line (garbled where talked over).
    void Hear(const std::vector<TLineOutput::TByteAt>& bytes);
    // Any bytes on the line: the masters keep their idle time after them.
    void LineUsed(const std::vector<TLineOutput::TByteAt>& bytes);
    std::optional<SimTime> NextDue() const;

    long long Requests() const { return requests_; }
    long long Exchanges() const { return exchanges_; }
    // Command channel reads that came back with their result.
    long long CommandsRead() const { return commandsRead_; }

    // The slot time of a master at a baud: 100 bit times up to 187500 baud,
    // 200 at 500000 and 300 at 1500000.
    static int SlotBits(long baud);

private:
    enum class TPhase { Diag, Prm, Cfg, Ready, Global, Data };
    struct TSlave {
        TStation station;
        int master;  // 0 or 1
        TPhase phase = TPhase::Diag;
        bool fcb = true, fcv = false;
        // The command channel: Unit, Cmd, Index while a read is held.
        std::uint8_t unit = 0, cmd = 0, index = 0;
        SimTime nextCommand{};
        int nextUnit = 0, nextIndex = 1;
    };
    struct TAwait {
        std::size_t slave;
        TByteString request;
        SimTime deadline;  // the answer's first byte must have started by then
        bool retried = false;
        bool sent = true;  // false: the retry waits for the idle line
    };

    std::uint8_t Address(int master) const { return static_cast<std::uint8_t>(first_ + master); }
    TByteString Request(TSlave& slave, SimTime now);
    std::optional<TByteString> Send(TByteString telegram, SimTime now, std::optional<std::size_t> awaiting);
    void Answered(const TByteString& telegram, SimTime now);
    void Failed(SimTime now);
    void Done(TSlave& slave) { slave.fcb = !slave.fcb, slave.fcv = true; }

    std::uint8_t first_;
    int masters_;
    std::vector<TSlave> slaves_;
    long baud_;
    SimClock::duration bit_;
    SimClock::duration char_;
    int params_;
    int holder_ = 0;                   // the master that has the token
    std::vector<std::size_t> cursor_;  // per master: its next station in the list
    std::optional<TAwait> await_;
    std::optional<TByteString> retry_;  // to be sent again
    TByteString received_;
    SimTime lastReceived_{};
    SimTime lineFree_{};  // the end of the last byte on the line
    long long requests_ = 0;
    long long exchanges_ = 0;
    long long commandsRead_ = 0;
};

}  // namespace sim
