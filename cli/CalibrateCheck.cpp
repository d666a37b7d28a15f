#include "CalibrateCheck.h"

#include "module/core/CalibrationKeys.h"
#include "core/CyclicData.h"
#include "core/ResultText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// In the order of calkeys::RestKeys.
constexpr const char* ReadNames[] = {"decimal point (DP)", "display step (DS)", "no-motion time (NT)"};

std::string Kg(double kg, const char* format = "%.3f")
{
    char text[48];
    std::snprintf(text, sizeof text, format, kg);
    return text;
}

}  // namespace

std::optional<double> ParseReferenceKg(const std::string& text)
{
    double kg = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), kg);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(kg) || kg <= 0 || kg > 1e6)
        return std::nullopt;
    return kg;
}

TCalibrateCheck::TCalibrateCheck(T_DPV0& master, std::uint8_t unit, double referenceKg)
    : unit_(unit), reference_(referenceKg), client_(master)
{
    const TCalibrationCommands commands = calkeys::Commands();
    for (const calkeys::TKey key : calkeys::RestKeys) reads_.push_back(commands.read(key));
}

void TCalibrateCheck::Received(const TByteString& telegram)
{
    if (Done()) return;
    if (const auto result = client_.Received(telegram)) TakeResult(result->stat, result->value);
    if (steadiness_ && cyclic::HasModuleBlock(telegram, unit_)) {
        const double gross = cyclic::DecodeModuleBlock(telegram, unit_).Gross;
        const auto now = TSteadiness::TClock::now();
        if (!restSince_) restSince_ = now;
        steadiness_->Add(now, gross);
        if (steadiness_->Steady())
            gross_ = gross;
        else if (now - *restSince_ > RestLimit)
            failure_ = "the weight did not come to rest within " + std::to_string(RestLimit.count()) +
                       " s (it must stay within one display step for the no-motion time)";
    }
    SendNext();
}

void TCalibrateCheck::TakeResult(std::uint8_t stat, std::int32_t value)
{
    const std::size_t i = values_.size();
    if (!resulttext::IsSuccess(stat)) {
        failure_ = std::string("the module refused to read its ") + ReadNames[i] + ": " +
                   resulttext::ErrorText(resulttext::ErrorCode(stat));
        return;
    }
    values_.push_back(value);
    if (values_.size() < reads_.size()) return;
    if (values_[0] < 0 || values_[0] > 9 || values_[1] <= 0 || values_[2] < 0) {
        failure_ = "the module reports no usable display step (DP " + std::to_string(values_[0]) + ", DS " +
                   std::to_string(values_[1]) + ") or no-motion time (" + std::to_string(values_[2]) + " ms)";
        return;
    }
    steadiness_ = TSteadiness::OfModule(values_[0], values_[1], values_[2]);
}

void TCalibrateCheck::Tick()
{
    if (!client_.Tick()) return;
    failure_ = std::string("the module did not answer the read of its ") + ReadNames[values_.size()];
}

void TCalibrateCheck::SendNext()
{
    if (!Done() && !client_.InFlight() && values_.size() < reads_.size()) client_.Send(unit_, reads_[values_.size()]);
}

bool TCalibrateCheck::Passed() const
{
    return gross_ && std::abs(*gross_ - reference_) <= steadiness_->StepKg() * (1 + 1e-6);
}

std::vector<std::string> TCalibrateCheck::Lines() const
{
    if (!failure_.empty()) return {"calibration check failed: " + failure_};
    if (!gross_ && steadiness_)
        return {
            "calibration check failed: the weight did not come to rest (it must stay within one display step "
            "for the no-motion time)"};
    if (!gross_) return {"calibration check failed: the module's values were not read before the end"};
    const double step = steadiness_->StepKg();
    const double difference = *gross_ - reference_;
    return {
        "display step " + Kg(step, "%g") + " kg, no-motion time " + std::to_string(values_[2]) + " ms",
        "gross " + Kg(*gross_) + " kg at rest, reference " + Kg(reference_) + " kg, difference " +
            Kg(difference, "%+.3f") + " kg = " + Kg(difference / step, "%+.1f") + " display steps",
        Passed() ? "within one display step" : "outside one display step: calibrate the module",
    };
}
