// The live list: asks every station address 1..126 (0 is the master's own)
// with FDL_Status whether a station is there, one address at a time, and
// asks each station that answers as a slave for its diagnosis (Slave_Diag)
// and its configuration (Get_Cfg). It never sends Set_Prm or Chk_Cfg, so no
// slave's state changes.
//
// It runs on the master's serial channel while the master is stopped: for
// the time of the scan it takes over the channel's poll timer (and polls
// faster) and the telegrams the channel cuts, and hands both back when done.
// The wait for each answer is the request's slot time on the line with the
// channel's adapter allowance; an address that stays silent is asked a
// second time before it counts as absent, and a station that has answered
// is asked up to three times for its diagnosis and its configuration before
// the scan says which of them it left unanswered (never a role it did not
// give). A request is asked again only on a quiet line: bytes still arriving
// may hold a late answer, which a retry sent into them would garble. Only a response from the address
// asked counts: garbled telegrams, other stations' telegrams and requests of
// another master are ignored. A token (SD4) heard is another master on the
// bus: its sender is listed as a master at once (and once). The scan's
// telegrams go into the master's trace. A port that vanishes ends the scan
// with a message.
#pragma once

#include "Diagnosis.h"
#include "Profi_dp.h"
#include "fdl/Framing.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TStationFound {
    // Passive: a slave by its FDL status that gave no DP diagnosis.
    enum Kind { Slave, Passive, Master };
    int address = 0;
    Kind kind = Passive;
    std::optional<diag::TDiagnosis> diagnosis;
    std::optional<TByteString> config;  // the Get_Cfg answer's data unit
    // The request the station left unanswered however often it was asked:
    // "Slave_Diag" or "Get_Cfg" (empty: none).
    std::string unanswered;
};

// "station 7 slave ident 09C5 config C0 07 07 20 1F modules 1",
// "station 7 slave ident 09C5 no answer to Get_Cfg", "station 7 slave, no
// answer to Slave_Diag", "station 9 master" or "station 9 passive" (it
// refused Slave_Diag).
std::string StationLine(const TStationFound& station);
// What to tell the user when a scan found another master at `address`.
std::string OtherMasterWarning(int address);

class TLiveListScan {
public:
    using Clock = std::chrono::steady_clock;
    using TProgressEvent = std::function<void(int address, int lastAddress)>;
    using TFoundEvent = std::function<void(const TStationFound& station)>;
    using TDoneEvent = std::function<void(const std::string& error)>;  // empty: all addresses asked

    static constexpr int FirstAddress = 1;
    static constexpr int LastAddress = 126;
    // The channel's timer runs at this interval during a scan, so that a
    // silent address costs a few milliseconds more than its slot time.
    static constexpr int ScanPollInterval = 5;  // ms
    static constexpr int AsksPerRequest = 2;    // a silent address is asked again once
    static constexpr int AsksOfAStation = 3;    // Slave_Diag and Get_Cfg of a station that answered
    // The longest a retry waits for a quiet line after its slot time.
    static constexpr std::chrono::milliseconds QuietLimit{250};

    explicit TLiveListScan(T_DPV0& master);
    ~TLiveListScan();  // hands the channel back if still scanning

    void SetOnProgress(TProgressEvent handler) { onProgress_ = std::move(handler); }
    void SetOnFound(TFoundEvent handler) { onFound_ = std::move(handler); }
    void SetOnDone(TDoneEvent handler) { onDone_ = std::move(handler); }

    // Begins the scan. False with `error` set while the master runs or no
    // port is open.
    bool Start(std::string& error);
    void Cancel();  // ends a running scan at once, without OnDone
    bool Running() const { return running_; }
    const std::vector<TStationFound>& Stations() const { return stations_; }

    // One poll: reads the port and moves the scan on. The channel's timer
    // calls it while the scan runs.
    void Poll();

private:
    enum class TAsk { Status, Diag, Config };

    void Ask(TAsk what, bool again = false);
    void Take(const TByteString& telegram);
    void NextAddress();
    void Finish(const std::string& error);
    void HandBack();
    bool IsAwaited(const fdl::TFrame& frame) const;
    void Answered(const fdl::TFrame& answer);
    void Unanswered();
    bool LineQuiet();  // no bytes arriving: a request may be asked again
    void Record();     // the station asked so far is listed; on to the next
    void HeardMaster(int address);
    bool Listed(int address) const;

    T_DPV0& master_;
    TProgressEvent onProgress_;
    TFoundEvent onFound_;
    TDoneEvent onDone_;
    bool running_ = false;
    int channelInterval_ = 0;  // the channel's poll interval, given back at the end
    int address_ = 0;
    TAsk asked_ = TAsk::Status;
    int asks_ = 0;                              // of the request outstanding
    bool waiting_ = false;                      // for its answer
    std::optional<Clock::time_point> overdue_;  // since its slot time ran out
    TStationFound current_;
    std::vector<TStationFound> stations_;
};
