#include "Profi_dp.h"

#include "fdl/Framing.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::uint8_t FrameCountBit = 0x20;    // FCB, on FC of a request
constexpr std::uint8_t FrameCountValid = 0x10;  // FCV: the slave is to heed FCB

std::string Milliseconds(std::chrono::microseconds t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(t.count()) / 1000.0);
    return text;
}

std::string WireComment(const TWirePiece& piece)
{
    if (piece.late) return "dropped: a late answer, too early for the request awaiting one";
    if (piece.kind == fdl::TCutKind::Noise) return "dropped: bytes that start no telegram";
    if (piece.kind == fdl::TCutKind::Corrupt) return std::string("dropped: ") + fdl::FaultText(piece.fault);
    return {};
}

}  // namespace

std::string CountersLine(const TBusCounters& c, const TLineCounts& line)
{
    return "requests " + std::to_string(c.requests) + " answers " + std::to_string(c.answers) + " no answer " +
           std::to_string(c.noAnswer) + " bad " + std::to_string(c.badAnswers) + " (check sum " +
           std::to_string(line.checkSum) + " length " + std::to_string(line.length) + " end byte " +
           std::to_string(line.endByte) + " time " + std::to_string(line.timeout) + " parity " +
           std::to_string(line.parity) + ") noise " + std::to_string(c.noiseBytes) + " repeats " +
           std::to_string(c.repeats) + " late " + std::to_string(c.late) + " cycle " + Milliseconds(c.lastCycle) +
           " mean " + Milliseconds(c.meanCycle) + " min " + Milliseconds(c.minCycle) + " max " +
           Milliseconds(c.maxCycle) + " allowance " + Milliseconds(c.allowance);
}

T_DPV0::T_DPV0(TComponent* owner, std::unique_ptr<TPollTimer> pollTimer)
    : TComponent(owner), commUnit_(std::make_unique<TCommUnit>(owner, std::move(pollTimer)))
{
    commUnit_->SetOnTelegram([this](const TByteString& telegram) { Step(telegram); });
    commUnit_->SetOnNotice([this](const std::string& text) {
        Trace(TTraceKind::Comment, {}, text);
        ShowNotice(text);
    });
    commUnit_->SetOnWire([this](const TWirePiece& piece) {
        if (onHeard_) onHeard_(piece);
        if (!onTrace_) return;
        const bool telegram = piece.kind == fdl::TCutKind::Complete;
        onTrace_(
            {telegram ? TTraceKind::Received : TTraceKind::Dropped, piece.bytes, WireComment(piece), piece.arrived});
    });
}

T_DPV0::~T_DPV0()
{
    // Closing the port hands on what is still queued; none of it may reach
    // this master, half gone by then (a running link would send again).
    commUnit_->SetOnTelegram({});
    commUnit_->SetOnNotice({});
    commUnit_->SetOnWire({});
    commUnit_->ClearBuffer();
    commUnit_.reset();
}

void T_DPV0::SetModuleCount(std::int32_t n)
{
    moduleCount_ = n;
    OutputData = TByteString::Filled(8 + static_cast<std::size_t>(std::max(n, 0)));
}

void T_DPV0::SetFastCycle(bool on) { fastCycle_ = on; }

void T_DPV0::StartMaster()
{
    state_ = {stStart, ssSend, phChkCfg, 0};
    fcvActive_ = false;
    ResetCycles();
    lastFault_.clear();
    ClearHeldStatus();
    HeardNow();
    awaited_ = TAwaited::Nothing;
    Trace(TTraceKind::Comment, {}, "Start");
}

void T_DPV0::StopMaster()
{
    state_ = {stIdle, ssSend, phChkCfg, 0};
    ClearHeldStatus();
    awaited_ = TAwaited::Nothing;  // the channel still holds the line until the slot time is over
    Trace(TTraceKind::Comment, {}, "Stop");
}

void T_DPV0::Trace(TTraceKind kind, const TByteString& bytes, const std::string& comment)
{
    if (onTrace_) onTrace_({kind, bytes, comment, std::chrono::steady_clock::now()});
}

TBusCounters T_DPV0::Counters() const
{
    TBusCounters c = counters_;
    const TLineCounts& line = commUnit_->LineCounts();
    c.badAnswers = line.checkSum + line.length + line.endByte + line.timeout + line.parity;
    c.noiseBytes = line.noiseBytes;
    c.late = line.late;
    c.allowance = commUnit_->LearnedAllowance();
    return c;
}

// A valid answer to the request awaiting one: from the slave to the master,
// a response, or an SC where the request allows it.
bool T_DPV0::IsAnswer(const TByteString& telegram) const
{
    if (awaited_ == TAwaited::Nothing) return false;
    const auto frame = fdl::Parse(telegram);
    if (!frame) return false;
    if (frame->start == fdl::SC) return awaited_ == TAwaited::AnswerOrAck;
    return !frame->IsToken() && !frame->IsRequest() && frame->da == 0 && frame->sa == (SlaveAddress & 0x7F);
}

void T_DPV0::Step(const TByteString& telegram)
{
    const std::size_t n = telegram.size();
    // A stopped master hears nothing: an answer still in flight at Stop must
    // not reach the window and make its values look live.
    if (n > 0 && state_.State == stIdle) return;
    if (n > 0) {
        // Only the answer to the request outstanding moves the master on.
        if (!IsAnswer(telegram)) return;
        awaited_ = TAwaited::Nothing;
        commUnit_->AnswerIn();
        ++counters_.answers;
        answered_ = true;
        if (silenceSaid_) ClearHeldStatus();  // the station has spoken after all
        HeardNow();
        fcvActive_ = true;  // the next request toggles FCB
    } else if (n == 0 && awaited_ != TAwaited::Nothing) {
        // The channel lets the tick through once the slot time has run out:
        // the request goes once more before it counts as unanswered.
        if (Repeat()) return;
        awaited_ = TAwaited::Nothing;
        ++counters_.noAnswer;
        ++unheardRequests_;
        fcvActive_ = false;  // the station may have lost count: start afresh
    }
    ReportStateChange();
    if (n > 0) {
        if (onReceive_)
            onReceive_(telegram);
        else
            replyCode_ = rcNone;
        Observe(telegram);
    }
    Act(n);
    // Observers hear of a new state in the step that made it, together with
    // its status text (a "Connected" shown while the window still counts
    // the link as starting up would misreport a key pressed then).
    ReportStateChange();
}

void T_DPV0::ReportStateChange()
{
    if (state_.State == lastState_.State && state_.SubStep == lastState_.SubStep && state_.Phase == lastState_.Phase)
        return;
    lastState_ = state_;
    if (onStateChange_) onStateChange_(state_);
}

void T_DPV0::Act(std::size_t n)
{
    switch (state_.State) {
    case stStart:
        WriteRaw(telegram::StartSequence());
        state_.State = stConnecting;
        break;
    case stConnecting:
        if (state_.SubStep == ssSend) {
            WatchSilence();
            ShowText("Connecting");
            SendSapRequest(telegram::sapSlaveDiag, {});
            state_.SubStep = ssJudge;
        } else if (state_.SubStep == ssJudge) {
            state_.SubStep = n > 6 && replyCode_ == rcDiagReply ? ssGoOn : ssSend;
        } else if (state_.SubStep == ssGoOn) {
            SetState(stParameterization, ssSend);
        }
        break;
    case stParameterization:
        if (state_.SubStep == ssSend) {
            ShowText("Parameterization");
            SendSapRequest(telegram::sapSetPrm, telegram::SetPrmData(moduleCount_));
            state_.SubStep = ssJudge;
        } else if (state_.SubStep == ssJudge) {
            state_.SubStep = n == 1 && replyCode_ == rcShortAck ? ssGoOn : ssFallBack;
        } else if (state_.SubStep == ssGoOn) {
            SetState(stConfiguration, ssSend);
        } else if (state_.SubStep == ssFallBack) {
            SetState(stConnecting, ssSend);
        }
        break;
    case stConfiguration: ActConfiguration(n); break;
    case stDataExchange: ActDataExchange(n); break;
    default:  // stIdle
        break;
    }
}

void T_DPV0::ActConfiguration(std::size_t n)
{
    switch (state_.SubStep) {
    case ssSend:
        ShowText("Configurating");
        SendSapRequest(telegram::sapChkCfg, telegram::ChkCfgData(moduleCount_));
        state_.SubStep = ssJudge;
        state_.Phase = phChkCfg;
        cfgRefused_ = prmRefused_ = getCfgAsked_ = getCfgAnswered_ = false;
        countSent_ = moduleCount_;
        break;
    case ssJudge:
        if (state_.Phase == phChkCfg) {
            state_.SubStep = n == 1 && replyCode_ == rcShortAck ? ssGoOn : ssFallBack;
            // Silence may be a slow slave; a telegram other than the
            // acknowledgement is a refusal.
            if (n > 0 && state_.SubStep == ssFallBack)
                Refuse(ConfigurationRefused, "Slave " + std::to_string(SlaveAddress) +
                                                 " refused the configuration (Chk_Cfg not acknowledged)");
        } else if (state_.Phase == phSlaveDiag) {
            state_.SubStep = n > 6 && replyCode_ == rcDiagReply ? ssGoOn : ssFallBack;
        } else if (state_.Counter == 0 && cfgRefused_ && !getCfgAsked_) {
            // The line is idle during the wait: room for one Get_Cfg.
            ++state_.Counter;
            AskConfigInWait();
        } else if (++state_.Counter > SettlingSteps) {
            if (cfgRefused_ && !getCfgAnswered_) ReportConfigRefusal(0);
            if (cfgRefused_ || prmRefused_) {
                // No data is exchanged with a slave that refused: the
                // start-up begins anew (the slave may be set up meanwhile).
                Restart();
                return;
            }
            ClearHeldStatus();
            SetState(stDataExchange, ssSend);
            replyCode_ = rcNone;
            ShowText("Connected", TStatusColour::Navy());
            commUnit_->ClearBuffer();
            state_.Phase = phChkCfg;
            state_.Counter = 0;
            requestOutstanding_ = false;
            silentRequests_ = 0;
            lastExchange_ = {};
        }
        break;
    case ssGoOn:
        if (state_.Phase == phChkCfg) {
            SendSapRequest(telegram::sapSlaveDiag, {});
            state_.SubStep = ssJudge;
            state_.Phase = phSlaveDiag;
        } else {
            SendSapRequest(telegram::sapGlobalControl, telegram::GlobalControlData());
            state_.SubStep = ssJudge;
            state_.Phase = phGlobalControl;
            state_.Counter = 0;
        }
        break;
    case ssFallBack: Restart(); break;
    default: break;
    }
}

void T_DPV0::ActDataExchange(std::size_t n)
{
    if (replyCode_ == rcShortFrame) {
        Restart();
        replyCode_ = rcNone;
        return;
    }
    if (state_.SubStep != ssSend) {
        state_.SubStep = ssSend;
        // The answer is in: standard cycle sends on the next tick, fast cycle
        // at once. A tick here means the slot time ran out unanswered (the
        // channel holds it back until then): the next request goes now.
        if (n > 0 && !fastCycle_) return;
    }
    // Enough requests in a row without a valid answer mean the slave has gone quiet.
    const bool unanswered = requestOutstanding_ && !answered_;
    const int silent = unanswered ? silentRequests_ + 1 : 0;
    if (silent >= SilentRequestLimit) {
        ShowText("No answer from slave");
        Restart();
        commUnit_->ClearBuffer();
        return;
    }
    SendDataExchange(OutputData);
    CountCycle();
    state_.SubStep = ssJudge;
    silentRequests_ = silent;
    requestOutstanding_ = true;
    answered_ = false;
}

void T_DPV0::CountCycle()
{
    const auto now = std::chrono::steady_clock::now();
    if (lastExchange_ != std::chrono::steady_clock::time_point{}) {
        const auto cycle = std::chrono::duration_cast<std::chrono::microseconds>(now - lastExchange_);
        counters_.lastCycle = cycle;
        counters_.minCycle = cycles_ ? std::min(counters_.minCycle, cycle) : cycle;
        counters_.maxCycle = std::max(counters_.maxCycle, cycle);
        cycleSum_ += cycle;
        counters_.meanCycle = cycleSum_ / static_cast<std::int64_t>(++cycles_);
    }
    lastExchange_ = now;
}

void T_DPV0::ResetCycles()
{
    // A cycle under way still counts once it ends: lastExchange_ stays.
    counters_.lastCycle = counters_.minCycle = counters_.meanCycle = counters_.maxCycle = {};
    cycleSum_ = {};
    cycles_ = 0;
}

void T_DPV0::ShowText(const std::string& text, const TStatusColour& colour)
{
    if (commUnit_->DeviceLost()) return;  // the port's loss stays on show until it is back
    // A refusal stays on show while the start-up repeats behind it.
    if (!heldStatus_.empty() && text != heldStatus_ && text != heldReason_) return;
    if (statusEdit_) statusEdit_->ShowStatus(text, colour);
    if (onStatusText_) onStatusText_(text);
}

void T_DPV0::ShowNotice(const std::string& text)
{
    const TStatusColour colour = commUnit_->DeviceLost() ? TStatusColour::Maroon() : TStatusColour::WindowText();
    if (onStatusText_) onStatusText_(text);
    if (statusEdit_) statusEdit_->ShowStatus(text, colour);
}

void T_DPV0::Restart()
{
    state_ = {stStart, ssSend, phChkCfg, 0};
    fcvActive_ = false;
    ResetCycles();
    requestOutstanding_ = false;
    silentRequests_ = 0;
    lastExchange_ = {};
}

void T_DPV0::SetState(std::uint8_t state, std::uint8_t subStep)
{
    state_.State = state;
    state_.SubStep = subStep;
}

void T_DPV0::SendSapRequest(std::uint16_t sapPair, const TByteString& data)
{
    SendTelegram(telegram::SapRequestFrame(SlaveAddress, sapPair, data));
}

void T_DPV0::SendDataExchange(const TByteString& data)
{
    SendTelegram(telegram::DataExchangeFrame(SlaveAddress, data));
}

void T_DPV0::SendTelegram(const TByteString& frame)
{
    TByteString complete;
    if (!telegram::CompleteFrame(frame, complete)) return;
    repeated_ = false;
    if (complete.size() > 8 && complete[6] == telegram::fcRequestData) {
        // The frame count goes into FC, and the check sum follows it.
        const std::uint8_t fc = FrameCount();
        complete[complete.size() - 2] = static_cast<std::uint8_t>(complete[complete.size() - 2] + fc - complete[6]);
        complete[6] = fc;
        lastRequest_ = complete;
    } else {
        lastRequest_ = {};
    }
    if (!commUnit_->Write(complete)) return;  // the device is gone: nothing was written
    Awaiting(complete);
    Trace(TTraceKind::Sent, complete);
    if (onSend_) onSend_(complete);
}

// FC of the next new SRD request to SlaveAddress: FCB=1 with FCV=0 for a
// station not yet answered in this start-up, else the toggled FCB with FCV=1.
std::uint8_t T_DPV0::FrameCount()
{
    if (SlaveAddress != fcbStation_) {
        fcbStation_ = SlaveAddress;
        fcvActive_ = false;
    }
    fcb_ = fcvActive_ ? !fcb_ : true;
    const std::uint8_t fcb = fcb_ ? FrameCountBit : 0;
    const std::uint8_t fcv = fcvActive_ ? FrameCountValid : 0;
    return static_cast<std::uint8_t>((telegram::fcRequestData & ~(FrameCountBit | FrameCountValid)) | fcb | fcv);
}

// Sends the unanswered SRD request once more, unchanged; false when it has
// been repeated already (or was none).
bool T_DPV0::Repeat()
{
    if (repeated_ || lastRequest_.empty() || state_.State == stIdle) return false;
    const TByteString request = lastRequest_;
    if (!commUnit_->Write(request)) return false;
    repeated_ = true;
    ++counters_.repeats;
    Awaiting(request);
    Trace(TTraceKind::Sent, request, "repeat");
    if (onSend_) onSend_(request);
    return true;
}

void T_DPV0::Awaiting(const TByteString& request)
{
    ++counters_.requests;
    const std::size_t answer = telegram::AnswerLength(request, moduleCount_);
    commUnit_->AwaitAnswer(request.size(), answer);
    if (answer == 0)
        awaited_ = TAwaited::Nothing;
    else
        awaited_ = telegram::AllowsShortAck(request) ? TAwaited::AnswerOrAck : TAwaited::Answer;
}

std::int16_t T_DPV0::ClassifyReply(const TByteString& telegram)
{
    replyCode_ = telegram::Classify(telegram);
    return replyCode_;
}

void T_DPV0::Observe(const TByteString& received)
{
    const auto frame = fdl::Parse(received);
    if (!frame || !frame->HasDataUnit() || !frame->dsap || !frame->ssap || frame->sa != (SlaveAddress & 0x7F)) return;
    const auto pair = static_cast<std::int16_t>(*frame->dsap << 8 | *frame->ssap);
    if (pair == rcDiagReply) {
        const auto d = diag::Decode(frame->sa, frame->data);
        if (!d) return;
        lastDiagnosis_ = d;
        if (onDiagnosis_) onDiagnosis_(*d);
        // The diagnosis that follows Chk_Cfg tells whether the slave took
        // the parameters and the configuration.
        if (state_.State == stConfiguration && state_.Phase == phSlaveDiag && state_.SubStep == ssJudge)
            JudgeStartupDiagnosis(*d);
    } else if (pair == rcGetCfgReply && getCfgAsked_ && !getCfgAnswered_) {
        getCfgAnswered_ = true;
        ReportConfigRefusal(diag::WzmModuleCount(frame->data).value_or(0));
    }
}

void T_DPV0::JudgeStartupDiagnosis(const diag::TDiagnosis& d)
{
    if (d.Has(diag::Prm_Fault)) {
        prmRefused_ = true;
        std::string text = "Slave " + std::to_string(SlaveAddress) + " refused the parameters";
        if (d.ident != diag::wzmIdent) {
            char ident[64];
            std::snprintf(ident, sizeof ident, " (its Ident_Number is %04X, not %04X)", d.ident, diag::wzmIdent);
            text += ident;
        }
        Refuse(ParametersRefused, text);
    } else if (d.Has(diag::Cfg_Fault)) {
        cfgRefused_ = true;  // reported once Get_Cfg is answered or the wait is over
    } else if (!d.Has(diag::Station_Not_Ready)) {
        lastFault_.clear();  // a later refusal is news again
    }
}

void T_DPV0::AskConfigInWait()
{
    getCfgAsked_ = true;
    SendSapRequest(telegram::sapGetCfg, {});
}

void T_DPV0::ReportConfigRefusal(int slaveModules)
{
    const std::string head = "Slave " + std::to_string(SlaveAddress) + " refused the configuration";
    // A Get_Cfg lost this time does not make the known count unknown again.
    if (slaveModules > 0) slaveModules_ = slaveModules;
    slaveModules = slaveModules_;
    if (slaveModules <= 0) {
        Refuse(ConfigurationRefused, head + " (Cfg_Fault)");
        return;
    }
    // The count named is the one this start-up sent, even when the user has
    // changed it since; a change already made is not offered again.
    if (Refuse(ConfigurationRefused, head + ": WZM count is " + std::to_string(countSent_) + ", the slave has " +
                                         std::to_string(slaveModules) + (slaveModules == 1 ? " module" : " modules")) &&
        onConfigRefused_ && moduleCount_ == countSent_)
        onConfigRefused_(slaveModules);
}

void T_DPV0::HeardNow()
{
    lastHeard_ = std::chrono::steady_clock::now();
    heardAddress_ = SlaveAddress;
    silenceSaid_ = false;
    unheardRequests_ = 0;
}

void T_DPV0::WatchSilence()
{
    if (SlaveAddress != heardAddress_) {
        HeardNow();  // a new address gets its own time
        return;
    }
    if (silenceSaid_ || unheardRequests_ < SilentStationRequests ||
        std::chrono::steady_clock::now() - lastHeard_ < SilenceLimit)
        return;
    silenceSaid_ = true;
    const std::string text = "No station answers at address " + std::to_string(SlaveAddress);
    Refuse(text, text);
    if (onSilentStation_) onSilentStation_(SlaveAddress);
}

bool T_DPV0::Refuse(const std::string& status, const std::string& reason)
{
    // A refusal of a count or address changed since is old news.
    if (moduleCount_ != countSent_ && status == ConfigurationRefused) return false;
    heldStatus_ = status;
    heldReason_ = reason;
    const bool news = reason != lastFault_;
    lastFault_ = reason;
    if (news && status != reason) ShowText(reason);
    if (news || status != reason) ShowText(status, TStatusColour::Maroon());
    return news;
}

void T_DPV0::ClearHeldStatus()
{
    silenceSaid_ = false;
    slaveModules_ = 0;
    heldStatus_.clear();
    heldReason_.clear();
}

void T_DPV0::WriteRaw(const TByteString& bytes)
{
    if (commUnit_->Write(bytes)) Trace(TTraceKind::StartSequence, bytes, "start sequence");
}
