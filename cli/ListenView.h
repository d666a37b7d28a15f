// What quorvel-cli --listen prints of the line it hears: a line per station
// when it is first heard and whenever its role or layout changes, after each
// Data_Exchange answer of a weighing slave shown one line per module (as
// when connected), a slave's diagnosis whenever it changes, the command
// channel whenever the master's command or the slave's reply changes, and
// per-station counters for --stats.
#pragma once

#include "WeightLog.h"
#include "dp/BusListener.h"

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>

class TListenView {
public:
    // `address`: the one slave whose values are shown; none: every weighing slave.
    TListenView(std::ostream& out, std::optional<int> address) : out_(out), address_(address) {}

    // Prints what changed since the last call; module blocks also go to
    // `weights` when it records.
    void Update(const buslisten::TBusListener& listener, TWeightLog& weights, std::int64_t utcMs);
    // "station 3 slave weighing 8 module(s) prm ... config ... ident 09C5", "station 2 master",
    // "station 5 slave layout outputs 4 inputs 4".
    static std::string StationLine(std::uint8_t address, const buslisten::TStation& station);
    // "stats station 3 slave requests 10 answers 9 repeats 1 no answer 1 bad 0/0/0/0/0 last heard 5 ms ago cycle 12
    // ms".
    static std::string StatsLine(std::uint8_t address, const buslisten::TStation& station,
                                 buslisten::Clock::time_point now);

private:
    bool Shown(std::uint8_t address, const buslisten::TStation& station) const;
    void Values(std::uint8_t address, const buslisten::TStation& station, TWeightLog& weights, std::int64_t utcMs);

    std::ostream& out_;
    std::optional<int> address_;
    std::map<std::uint8_t, std::string> said_;         // the station line last printed
    std::map<std::uint8_t, std::uint64_t> exchanges_;  // answers already shown
    std::map<std::uint8_t, std::string> channelSaid_;  // the command channel line last printed
    std::map<std::uint8_t, std::string> diagSaid_;     // the diagnosis line last printed
};
