#include "Profi_dp.h"

#include <algorithm>

T_DPV0::T_DPV0(TComponent* owner, std::unique_ptr<TPollTimer> pollTimer)
    : TComponent(owner), commUnit_(std::make_unique<TCommUnit>(owner, std::move(pollTimer)))
{
    commUnit_->SetOnTelegram([this](const TByteString& telegram) { Step(telegram); });
}

T_DPV0::~T_DPV0()
{
    commUnit_->ClearBuffer();
    commUnit_.reset();
}

void T_DPV0::SetModuleCount(std::int32_t n)
{
    moduleCount_ = n;
    OutputData = TByteString::Filled(8 + static_cast<std::size_t>(std::max(n, 0)));
}

void T_DPV0::StartMaster() { state_ = {stStart, ssSend, phChkCfg, 0}; }

void T_DPV0::StopMaster() { state_ = {stIdle, ssSend, phChkCfg, 0}; }

void T_DPV0::Step(const TByteString& telegram)
{
    ReportStateChange();
    const std::size_t n = telegram.size();
    if (n > 0) {
        heardSinceRequest_ = true;
        if (onReceive_)
            onReceive_(telegram);
        else
            replyCode_ = rcNone;
    }
    Act(n);
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
    case stConfiguration:
        ActConfiguration(n);
        break;
    case stDataExchange:
        ActDataExchange();
        break;
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
        break;
    case ssJudge:
        if (state_.Phase == phChkCfg) {
            state_.SubStep = n == 1 && replyCode_ == rcShortAck ? ssGoOn : ssFallBack;
        } else if (state_.Phase == phSlaveDiag) {
            state_.SubStep = n > 6 && replyCode_ == rcDiagReply ? ssGoOn : ssFallBack;
        } else if (++state_.Counter > SettlingSteps) {
            SetState(stDataExchange, ssSend);
            replyCode_ = rcNone;
            ShowText("Connected", TStatusColour::Navy());
            commUnit_->ClearBuffer();
            state_.Phase = phChkCfg;
            state_.Counter = 0;
            requestOutstanding_ = false;
            silentRequests_ = 0;
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
    case ssFallBack:
        Restart();
        break;
    default:
        break;
    }
}

void T_DPV0::ActDataExchange()
{
    if (replyCode_ == rcShortFrame) {
        Restart();
        replyCode_ = rcNone;
        return;
    }
    if (state_.SubStep != ssSend) {
        state_.SubStep = ssSend;
        return;
    }
    // A request that heard no telegram before the next one is due counts as
    // unanswered; enough of them in a row mean the slave has gone quiet.
    const bool unanswered = requestOutstanding_ && !heardSinceRequest_;
    const int silent = unanswered ? silentRequests_ + 1 : 0;
    if (silent >= SilentRequestLimit) {
        ShowText("No answer from slave");
        Restart();
        commUnit_->ClearBuffer();
        return;
    }
    SendDataExchange(OutputData);
    state_.SubStep = ssJudge;
    silentRequests_ = silent;
    requestOutstanding_ = true;
    heardSinceRequest_ = false;
}

void T_DPV0::ShowText(const std::string& text, const TStatusColour& colour)
{
    if (onStatusText_) onStatusText_(text);
    if (statusEdit_) statusEdit_->ShowStatus(text, colour);
}

void T_DPV0::Restart()
{
    state_ = {stStart, ssSend, phChkCfg, 0};
    requestOutstanding_ = false;
    silentRequests_ = 0;
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

void T_DPV0::SendDataExchange(const TByteString& data) { SendTelegram(telegram::DataExchangeFrame(SlaveAddress, data)); }

void T_DPV0::SendTelegram(const TByteString& frame)
{
    TByteString complete;
    if (!telegram::CompleteFrame(frame, complete)) return;
    if (!commUnit_->Write(complete)) return;  // the device is gone: nothing was written
    if (onSend_) onSend_(complete);
}

std::int16_t T_DPV0::ClassifyReply(const TByteString& telegram)
{
    replyCode_ = telegram::Classify(telegram);
    return replyCode_;
}

void T_DPV0::WriteRaw(const TByteString& bytes) { commUnit_->Write(bytes); }
