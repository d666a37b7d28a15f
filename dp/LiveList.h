// The live list: asks every station address 1..126 (0 is the master's own)
// with FDL_Status whether a station is there, one address at a time, and
// asks each station that answers as a slave for its diagnosis (Slave_Diag)
// and its configuration (Get_Cfg). It never sends Set_Prm or Chk_Cfg, so no
// slave's state changes.
//
// It runs on the master's serial channel while the master is stopped: for
// the time of the scan it takes over the channel's poll timer (and polls
// faster), reads the port itself and hands the timer back when done. Telegrams that are
// garbled or come from another address than the one asked are ignored.
// A port that vanishes ends the scan with a message.
#pragma once

#include "Diagnosis.h"
#include "Profi_dp.h"
#include "StationReply.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TStationFound {
    enum Kind { Slave, Passive, Master };  // Passive: a slave type that gave no DP diagnosis
    int address = 0;
    Kind kind = Passive;
    std::optional<diag::TDiagnosis> diagnosis;
    std::optional<TByteString> config;  // the Get_Cfg answer's data unit
};

// "station 7 slave ident 09C5 config C0 07 07 20 1F modules 1",
// "station 9 master" or "station 9 passive".
std::string StationLine(const TStationFound& station);

class TLiveListScan {
public:
    using Clock = std::chrono::steady_clock;
    using TProgressEvent = std::function<void(int address, int lastAddress)>;
    using TFoundEvent = std::function<void(const TStationFound& station)>;
    using TDoneEvent = std::function<void(const std::string& error)>;  // empty: all addresses asked

    static constexpr int FirstAddress = 1;
    static constexpr int LastAddress = 126;
    // The channel's timer runs at this interval during a scan, so that a
    // silent address costs a few milliseconds more than `ReplyWindow`.
    static constexpr int ScanPollInterval = 10;  // ms
    // Silence this long after a request means nobody answers it; bytes of an
    // answer that has begun are awaited up to `LongestAnswer`.
    static constexpr auto ReplyWindow = std::chrono::milliseconds(25);
    static constexpr auto LongestAnswer = std::chrono::milliseconds(120);

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

    void Ask(TAsk what);
    void NextAddress();
    void Finish(const std::string& error);
    void HandBack();
    void ReadInput();
    bool TakeAnswer(telegram::TReplyFrame& answer);  // the awaited answer, if whole
    bool IsAwaited(const telegram::TReplyFrame& frame) const;
    void Answered(const telegram::TReplyFrame& answer);
    void Unanswered();
    void Record();  // the station asked so far is listed; on to the next

    T_DPV0& master_;
    TProgressEvent onProgress_;
    TFoundEvent onFound_;
    TDoneEvent onDone_;
    bool running_ = false;
    int channelInterval_ = 0;  // the channel's poll interval, given back at the end
    int address_ = 0;
    TAsk asked_ = TAsk::Status;
    Clock::time_point askedAt_{};
    std::vector<std::uint8_t> rx_;
    TStationFound current_;
    std::vector<TStationFound> stations_;
};
