#include "CalibrationFlow.h"

#include "core/ResultText.h"

#include <algorithm>
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

namespace {

// The keys a cancel writes back with the value read at the start.
constexpr TKey WrittenBack[] = {CZ, CM, DS, DP};
constexpr int NoAnswer = 7;  // the module's code for a result that did not come

}  // namespace

TCalibrationFlow::TCalibrationFlow(std::uint8_t unit, TCalibrationCommands commands)
    : unit_(unit), commands_(std::move(commands)), steadiness_(0.1, std::chrono::milliseconds(0))
{
    // A refused read is shown as such; DP, DS and NT are needed to go on
    // (Open), CZ to put the zero back on a cancel.
    std::vector<TCommand> reads;
    for (const TKey key : {CE, CZ, CG, CM, DS, DP})
        reads.push_back({commands_.readValue(key), commands_.name(key), true});
    reads.push_back({commands_.readCounter(), "counter", true});
    for (const TKey key : {NT, ID, IV}) reads.push_back({commands_.read(key), commands_.name(key), true});
    Send(std::move(reads), TStep::Values);
}

std::optional<TByteString> TCalibrationFlow::Next() const
{
    if (batch_.empty()) return std::nullopt;
    return batch_.front().bytes;
}

std::optional<std::int32_t> TCalibrationFlow::Reading(TKey key) const
{
    const std::string name = commands_.name(key);
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
    if (resulttext::IsSuccess(stat)) return Take(value, "", 0);
    const int code = resulttext::ErrorCode(stat);
    Take(std::nullopt, resulttext::ErrorText(code), code);
}

// An optional command without an answer is noted like a refusal: the
// batch goes on, and what the module confirmed before stays confirmed.
void TCalibrationFlow::GiveUp() { Take(std::nullopt, "** NO RESULT **", NoAnswer); }

void TCalibrationFlow::Take(std::optional<std::int32_t> value, const std::string& refusal, int code)
{
    if (batch_.empty()) return;
    const TCommand command = batch_.front();
    if (after_ == TStep::Values) readings_.push_back({command.key, value, refusal});
    if (command.role == TRole::WriteBack)
        for (TRestore& r : restored_)
            if (r.key == command.key) r.refusal = refusal;
    if (command.role == TRole::ReadBack)
        for (TRestore& r : restored_)
            if (r.key == command.key) r.now = value;
    // A change the module confirmed, or one whose answer was lost: it may have been made.
    if (command.role == TRole::Change && (value || code == NoAnswer) &&
        std::find(changed_.begin(), changed_.end(), command.key) == changed_.end())
        changed_.push_back(command.key);
    if (!value && !command.optional) return Fail(command.key, refusal, code);
    if (value) {
        answers_[command.key] = *value;
        if (command.key == commands_.name(CS)) saved_ = true;
    }
    batch_.erase(batch_.begin());
    if (batch_.empty()) Finish();
    CancelIfAsked();
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
        steadiness_ = TSteadiness::OfModule(decimals_, stepSize_, noMotionMs_);
        break;
    case TStep::Zero: opened_ = true; break;
    case TStep::Linearise:
        if (step_ == TStep::Limits) {
            decimals_ = answer("DP", decimals_);
            stepSize_ = answer("DS", stepSize_);
            if (answers_.count("CM")) max_ = answers_["CM"];
            steadiness_ = TSteadiness::OfModule(decimals_, stepSize_, noMotionMs_);
        }
        break;
    case TStep::Check:
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

double TCalibrationFlow::StepKg() const { return TSteadiness::StepKg(decimals_, stepSize_); }

bool TCalibrationFlow::FarFromZero() const
{
    const auto max = Final(CM);
    return gross_ && max && std::abs(*gross_) > 0.02 * *max * std::pow(10.0, -decimals_);
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
    for (const TKey key : RestKeys)
        if (!Reading(key)) {
            problem_ = TProblem{commands_.name(key), "not reported",
                                "Without the display step (DS, DP) and the no-motion time (NT) the weight at rest "
                                "cannot be judged. Check the module and start anew."};
            return;
        }
    Send({{commands_.write(CE, 1), "CE"}}, TStep::Zero);
}

void TCalibrationFlow::SetZero(bool evenIfMoving)
{
    if (step_ != TStep::Zero || !Allowed(evenIfMoving)) return;
    zeroReading_ = gross_;
    Send({{commands_.read(CZ), "CZ", false, TRole::Change}}, TStep::Span);
}

void TCalibrationFlow::SetSpan(double kg, bool evenIfMoving)
{
    if (step_ != TStep::Span || !std::isfinite(kg) || !Allowed(evenIfMoving)) return;
    spanReading_ = gross_;
    referenceKg_ = kg;
    Send({{commands_.write(CG, DisplayUnits(kg)), "CG", false, TRole::Change}}, TStep::Limits);
}

void TCalibrationFlow::WriteLimits(std::int32_t max, std::int32_t step, std::int32_t decimals)
{
    if (step_ != TStep::Limits || Busy()) return;
    std::vector<TCommand> batch;
    if (max != Reading(CM)) batch.push_back({commands_.write(CM, max), "CM", false, TRole::Change});
    if (step != stepSize_) batch.push_back({commands_.write(DS, step), "DS", false, TRole::Change});
    if (decimals != decimals_) batch.push_back({commands_.write(DP, decimals), "DP", false, TRole::Change});
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
    Send({{commands_.read(ClrLin), "ClrLin", false, TRole::Change}}, TStep::Linearise);
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
        batch.push_back(
            {commands_.writePoint(LinX, point, DisplayUnits(linPoints_[i].readKg)), "LinX", false, TRole::Change});
        batch.push_back(
            {commands_.writePoint(LinY, point, DisplayUnits(linPoints_[i].trueKg)), "LinY", false, TRole::Change});
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
    if (step_ == TStep::Save && !Busy())
        Send({{commands_.read(CS), "CS"}, {commands_.readCounter(), "counter", true}}, TStep::Check);
}

void TCalibrationFlow::Close()
{
    if (step_ == TStep::Check && !Busy()) Send({{commands_.write(CE, 0), "CE"}}, TStep::Done);
}

void TCalibrationFlow::Cancel()
{
    if (step_ == TStep::Done || step_ == TStep::Cancelled || (Busy() && after_ == TStep::Cancelled)) return;
    if (Busy()) {
        // The command on its way may still be carried out (a save, say): its
        // answer is taken first, so that the end tells what happened.
        cancelPending_ = true;
        batch_.resize(1);
        return;
    }
    problem_.reset();
    if (!saved_ && !changed_.empty()) return Restore();
    if (!opened_) {
        step_ = TStep::Cancelled;
        return;
    }
    Send({{commands_.write(CE, 0), "CE"}}, TStep::Cancelled);
}

// Writes back what the session changed (opening the calibration again if
// the module closed it meanwhile), closes the calibration and reads back
// what it wrote. A refused write-back is noted; the rest goes on.
void TCalibrationFlow::Restore()
{
    std::vector<TCommand> writes, reads;
    for (const std::string& key : changed_) {
        const TKey* known = std::find_if(std::begin(WrittenBack), std::end(WrittenBack),
                                         [&](TKey k) { return commands_.name(k) == key; });
        const auto start = known == std::end(WrittenBack) ? std::nullopt : Reading(*known);
        // CZ 0 would zero at the present load rather than put a zero back.
        if (!start || (*known == CZ && *start == 0)) {
            notRestored_.push_back(key);
            continue;
        }
        restored_.push_back({key, *start, "", std::nullopt});
        writes.push_back({commands_.write(*known, *start), key, true, TRole::WriteBack});
        reads.push_back({commands_.readValue(*known), key, true, TRole::ReadBack});
    }
    changed_.clear();
    std::vector<TCommand> batch;
    if (!opened_ && !writes.empty()) batch.push_back({commands_.write(CE, 1), "CE", true});
    batch.insert(batch.end(), writes.begin(), writes.end());
    batch.push_back({commands_.write(CE, 0), "CE"});
    batch.insert(batch.end(), reads.begin(), reads.end());
    Send(std::move(batch), TStep::Cancelled);
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
