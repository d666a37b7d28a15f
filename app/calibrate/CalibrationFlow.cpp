#include "CalibrationFlow.h"

#include "core/ResultText.h"

#include <cmath>

using namespace calkeys;

std::string CalibrationAdvice(int errorCode)
{
    switch (errorCode) {
    case 4:
        return "The calibration is closed: the module protects these values. Open it again (Cancel and start anew).";
    case 5: return "The module does not know this calibration value.";
    case 6:
        return "The module refuses this value: the reference must be above zero, at most the maximum (CM) and "
               "clearly heavier than the empty scale. Check the weight and its value, then try again.";
    case 8: return "The module found the weight moving: wait until it rests, then try again.";
    case 7: return "The module did not answer in time: check the line and try again.";
    default: return "Check the module and the line, then try again.";
    }
}

TCalibrationFlow::TCalibrationFlow(std::uint8_t unit) : unit_(unit), steadiness_(0.1, std::chrono::milliseconds(0))
{
    // A refused read is shown as such; DP, DS and NT are needed to go on (Open).
    Send({{Read(CE), "CE", true},
          {Read(CG), "CG", true},
          {Read(CM), "CM", true},
          {Read(DS), "DS", true},
          {Read(DP), "DP", true},
          {ReadCounter(), "counter", true},
          {Read(NT), "NT", true},
          {Read(ID), "ID", true},
          {Read(IV), "IV", true}},
         TStep::Values);
}

std::optional<TByteString> TCalibrationFlow::Next() const
{
    if (batch_.empty()) return std::nullopt;
    return batch_.front().bytes;
}

std::optional<std::int32_t> TCalibrationFlow::Reading(TKey key) const
{
    const std::string name = Entry(key).Caption;
    for (const TReading& r : readings_)
        if (r.key == name) return r.value;
    return std::nullopt;
}

std::optional<std::int32_t> TCalibrationFlow::CounterBefore() const
{
    for (const TReading& r : readings_)
        if (r.key == "counter") return r.value;
    return std::nullopt;
}

std::optional<std::int32_t> TCalibrationFlow::Final(TKey key) const
{
    if (key == CM) return max_ ? max_ : Reading(CM);
    if (key == DS) return Reading(DS) ? std::optional(stepSize_) : std::nullopt;
    if (key == DP) return Reading(DP) ? std::optional(decimals_) : std::nullopt;
    return Reading(key);
}

void TCalibrationFlow::Send(std::vector<TCommand> batch, TStep after)
{
    problem_.reset();
    answers_.clear();
    failTo_ = step_;
    after_ = after;
    batch_ = std::move(batch);
}

void TCalibrationFlow::TakeResult(std::uint8_t stat, std::int32_t value)
{
    if (batch_.empty()) return;
    const TCommand command = batch_.front();
    const bool ok = resulttext::IsSuccess(stat);
    if (after_ == TStep::Values)
        readings_.push_back({command.key, ok ? std::optional<std::int32_t>(value) : std::nullopt,
                             ok ? "" : resulttext::ErrorText(resulttext::ErrorCode(stat))});
    if (!ok && !command.optional)
        return Fail(command.key, resulttext::ErrorText(resulttext::ErrorCode(stat)), resulttext::ErrorCode(stat));
    if (ok) answers_[command.key] = value;
    batch_.erase(batch_.begin());
    if (batch_.empty()) Finish();
    CancelIfAsked();
}

void TCalibrationFlow::GiveUp()
{
    if (batch_.empty()) return;
    Fail(batch_.front().key, "** NO RESULT **", 7);
}

void TCalibrationFlow::Fail(const std::string& key, const std::string& text, int code)
{
    batch_.clear();
    problem_ = TProblem{key, text, CalibrationAdvice(code)};
    step_ = failTo_;
    // A calibration that the module reports closed is closed.
    if (code == 4) opened_ = false;
    CancelIfAsked();
}

void TCalibrationFlow::Finish()
{
    const auto answer = [&](const char* key, std::int32_t fallback) {
        const auto it = answers_.find(key);
        return it == answers_.end() ? fallback : it->second;
    };
    switch (after_) {
    case TStep::Values:
        decimals_ = answer("DP", decimals_);
        stepSize_ = answer("DS", stepSize_);
        noMotionMs_ = answer("NT", noMotionMs_);
        steadiness_ = TSteadiness(StepKg(), std::chrono::milliseconds(noMotionMs_));
        break;
    case TStep::Zero: opened_ = true; break;
    case TStep::Linearise:
        if (step_ == TStep::Limits) {
            decimals_ = answer("DP", decimals_);
            stepSize_ = answer("DS", stepSize_);
            if (answers_.count("CM")) max_ = answers_["CM"];
            steadiness_ = TSteadiness(StepKg(), std::chrono::milliseconds(noMotionMs_));
        }
        break;
    case TStep::Check:
        saved_ = true;
        if (answers_.count("counter")) counterAfter_ = answers_["counter"];
        break;
    case TStep::Done:
    case TStep::Cancelled: opened_ = false; break;
    default: break;
    }
    step_ = after_;
}

void TCalibrationFlow::AddGross(TSteadiness::TClock::time_point time, double kg)
{
    steadiness_.Add(time, kg);
    gross_ = kg;
    if (step_ == TStep::Check && !Busy() && steadiness_.Steady()) checkReading_ = kg;
}

double TCalibrationFlow::StepKg() const
{
    const double step = stepSize_ * std::pow(10.0, -decimals_);
    return step > 0 ? step : 1.0;
}

std::int32_t TCalibrationFlow::DisplayUnits(double kg) const
{
    return static_cast<std::int32_t>(std::lround(kg * std::pow(10.0, decimals_)));
}

bool TCalibrationFlow::Allowed(bool evenIfMoving)
{
    if (Busy() || !gross_) return false;
    if (steadiness_.Steady()) return true;
    if (evenIfMoving) overridden_ = true;
    return evenIfMoving;
}

void TCalibrationFlow::Open()
{
    if (step_ != TStep::Values || Busy()) return;
    for (const TKey key : {DP, DS, NT})
        if (!Reading(key)) {
            problem_ = TProblem{Entry(key).Caption, "not reported",
                                "Without the display step (DS, DP) and the no-motion time (NT) the weight at rest "
                                "cannot be judged. Check the module and start anew."};
            return;
        }
    Send({{Write(CE, 1), "CE"}}, TStep::Zero);
}

void TCalibrationFlow::SetZero(bool evenIfMoving)
{
    if (step_ != TStep::Zero || !Allowed(evenIfMoving)) return;
    zeroReading_ = gross_;
    Send({{Read(CZ), "CZ"}}, TStep::Span);
}

void TCalibrationFlow::SetSpan(double kg, bool evenIfMoving)
{
    if (step_ != TStep::Span || !std::isfinite(kg) || !Allowed(evenIfMoving)) return;
    spanReading_ = gross_;
    referenceKg_ = kg;
    Send({{Write(CG, DisplayUnits(kg)), "CG"}}, TStep::Limits);
}

void TCalibrationFlow::WriteLimits(std::int32_t max, std::int32_t step, std::int32_t decimals)
{
    if (step_ != TStep::Limits || Busy()) return;
    std::vector<TCommand> batch;
    if (max != Reading(CM)) batch.push_back({Write(CM, max), "CM"});
    if (step != stepSize_) batch.push_back({Write(DS, step), "DS"});
    if (decimals != decimals_) batch.push_back({Write(DP, decimals), "DP"});
    if (batch.empty()) return SkipLimits();
    Send(std::move(batch), TStep::Linearise);
}

void TCalibrationFlow::SkipLimits()
{
    if (step_ == TStep::Limits && !Busy()) step_ = TStep::Linearise;
}

void TCalibrationFlow::ClearLinearisation()
{
    if (step_ != TStep::Linearise || Busy()) return;
    linPoints_.clear();
    Send({{Read(ClrLin), "ClrLin"}}, TStep::Linearise);
}

void TCalibrationFlow::AddLinPoint(double trueKg, bool evenIfMoving)
{
    if (step_ != TStep::Linearise || linPoints_.size() >= static_cast<std::size_t>(calkeys::LinPoints) ||
        !std::isfinite(trueKg) || !Allowed(evenIfMoving))
        return;
    linPoints_.push_back({*gross_, trueKg});
}

void TCalibrationFlow::WriteLinearisation()
{
    if (step_ != TStep::Linearise || Busy()) return;
    std::vector<TCommand> batch;
    for (std::size_t i = 0; i < linPoints_.size(); ++i) {
        const int point = static_cast<int>(i);
        batch.push_back({WritePoint(LinX, point, DisplayUnits(linPoints_[i].readKg)), "LinX"});
        batch.push_back({WritePoint(LinY, point, DisplayUnits(linPoints_[i].trueKg)), "LinY"});
    }
    if (batch.empty()) return SkipLinearisation();
    Send(std::move(batch), TStep::Save);
}

void TCalibrationFlow::SkipLinearisation()
{
    if (step_ == TStep::Linearise && !Busy()) step_ = TStep::Save;
}

void TCalibrationFlow::Save()
{
    if (step_ == TStep::Save && !Busy()) Send({{Read(CS), "CS"}, {ReadCounter(), "counter", true}}, TStep::Check);
}

void TCalibrationFlow::Close()
{
    if (step_ == TStep::Check && !Busy()) Send({{Write(CE, 0), "CE"}}, TStep::Done);
}

void TCalibrationFlow::Cancel()
{
    if (step_ == TStep::Done || step_ == TStep::Cancelled) return;
    if (Busy()) {
        // The command on its way may still be carried out (a save, say): its
        // answer is taken first, so that the end tells what happened.
        cancelPending_ = true;
        batch_.resize(1);
        return;
    }
    problem_.reset();
    if (!opened_) {
        step_ = TStep::Cancelled;
        return;
    }
    Send({{Write(CE, 0), "CE"}}, TStep::Cancelled);
}

void TCalibrationFlow::CancelIfAsked()
{
    if (!cancelPending_ || Busy()) return;
    cancelPending_ = false;
    Cancel();
}

std::optional<double> TCalibrationFlow::CheckSteps() const
{
    if (!checkReading_ || !referenceKg_) return std::nullopt;
    return (*checkReading_ - *referenceKg_) / StepKg();
}
