// The steps of a guided calibration of one module, without any widget: what
// each step sends (the module's own calibration keys), what the module
// answered, and where a refusal leaves the user. The wizard shows it; the
// window carries its commands one at a time and hands back each result and
// the module's live gross weight.
//
// Nothing is saved before Save (CS). The module works with the values of the
// session at once, though, so a cancel writes back the values read at the
// start that the session changed, closes the calibration again (CE 0) and
// reads them back; the module's saved calibration stays as it was.
#pragma once

#include "core/CalibrationCommands.h"
#include "core/Steadiness.h"
#include "base/ByteString.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class TCalibrationFlow {
public:
    enum class TStep { Values, Zero, Span, Limits, Linearise, Save, Check, Done, Cancelled };

    // One linearisation point: the module's reading at rest and the weight's true value.
    struct TLinPoint {
        double readKg = 0;
        double trueKg = 0;
    };

    // A refusal or a missing answer, shown at the step that caused it.
    struct TProblem {
        std::string key;     // "CZ"
        std::string text;    // "** NOT_STABLE **"
        std::string advice;  // what to do
    };

    // The key's value as the module reported it when the flow began.
    struct TReading {
        std::string key;
        std::optional<std::int32_t> value;  // none: refused or not answered
        std::string refusal;
    };

    // A value of the session written back on a cancel.
    struct TRestore {
        std::string key;
        std::int32_t value = 0;           // as read at the start
        std::string refusal;              // the module's answer to the write, empty when taken
        std::optional<std::int32_t> now;  // read back after the calibration was closed
    };

    TCalibrationFlow(std::uint8_t unit, TCalibrationCommands commands);

    std::uint8_t Unit() const { return unit_; }
    TStep Step() const { return step_; }
    bool Busy() const { return !batch_.empty(); }
    // The command to send now, if one waits; the caller sends it and hands
    // its result to TakeResult (or calls GiveUp).
    std::optional<TByteString> Next() const;
    void TakeResult(std::uint8_t stat, std::int32_t value);
    void GiveUp();
    // Every live gross reading of the module.
    void AddGross(TSteadiness::TClock::time_point time, double kg);

    // The user's actions; each is ignored where it does not belong.
    void Open();                                 // CE 1
    void SetZero(bool evenIfMoving);             // CZ
    void SetSpan(double kg, bool evenIfMoving);  // CG with the reference in display units
    void WriteLimits(std::int32_t max, std::int32_t step, std::int32_t decimals);
    void SkipLimits();
    void ClearLinearisation();                           // ClrLin, then the points start anew
    void AddLinPoint(double trueKg, bool evenIfMoving);  // the reading at rest with its true value
    void WriteLinearisation();                           // LinX/LinY of every point kept
    void SkipLinearisation();
    void Save();   // CS
    void Close();  // CE 0
    // CE 0 when opened; a command on its way is answered first.
    void Cancel();

    const std::vector<TReading>& Readings() const { return readings_; }
    // After a cancel: what was written back, and the keys changed in the
    // session that cannot be written back (CG and the linearisation points:
    // the module takes them from the load on the scale).
    const std::vector<TRestore>& Restored() const { return restored_; }
    const std::vector<std::string>& NotRestored() const { return notRestored_; }
    std::optional<std::int32_t> Reading(calkeys::TKey key) const;
    const std::optional<TProblem>& Problem() const { return problem_; }
    // The display step in kg (DS × 10^-DP), the no-motion time and the
    // steadiness of the live weight.
    double StepKg() const;
    const TSteadiness& Steadiness() const { return steadiness_; }
    bool Steady() const { return steadiness_.Steady(); }
    std::optional<double> Gross() const { return gross_; }
    // The gross weight is more than 2 % of the maximum (CM) away from zero:
    // the scale is hardly empty.
    bool FarFromZero() const;
    std::int32_t DisplayUnits(double kg) const;
    // The key the next command belongs to ("CG"), empty when none waits.
    std::string NextKey() const { return batch_.empty() ? std::string() : batch_.front().key; }

    // What the flow did, for the certificate.
    std::optional<double> ZeroReading() const { return zeroReading_; }  // before CZ
    std::optional<double> SpanReading() const { return spanReading_; }  // before CG
    std::optional<double> ReferenceKg() const { return referenceKg_; }
    std::optional<double> CheckReading() const { return checkReading_; }  // at rest after CS
    std::optional<std::int32_t> CounterBefore() const;
    std::optional<std::int32_t> CounterAfter() const { return counterAfter_; }
    // CM, DS or DP as the module holds it now: as read, or as written here.
    std::optional<std::int32_t> Final(calkeys::TKey key) const;
    const std::vector<TLinPoint>& LinPoints() const { return linPoints_; }
    bool Saved() const { return saved_; }
    bool Overridden() const { return overridden_; }  // a step taken on a moving weight
    // Gross at rest after saving, minus the reference, in display steps.
    std::optional<double> CheckSteps() const;

private:
    // A read, a change of the session, or a cancel's write-back and read-back of a value.
    enum class TRole { Read, Change, WriteBack, ReadBack };
    struct TCommand {
        TByteString bytes;
        std::string key;
        bool optional = false;  // a refusal is noted, not a problem
        TRole role = TRole::Read;
    };
    void Send(std::vector<TCommand> batch, TStep after);
    void Take(std::optional<std::int32_t> value, const std::string& refusal, int code);
    void Finish();
    void Restore();
    void Fail(const std::string& key, const std::string& text, int code);
    bool Allowed(bool evenIfMoving);
    void CancelIfAsked();

    std::uint8_t unit_;
    TCalibrationCommands commands_;
    TStep step_ = TStep::Values;
    TStep after_ = TStep::Values;   // where the batch leads
    TStep failTo_ = TStep::Values;  // where a refusal leaves the user
    std::vector<TCommand> batch_;
    std::vector<TReading> readings_;
    std::map<std::string, std::int32_t> answers_;  // the last batch's answers by key
    std::vector<std::string> changed_;             // keys the session wrote, in order
    std::vector<TRestore> restored_;
    std::vector<std::string> notRestored_;
    std::optional<TProblem> problem_;
    TSteadiness steadiness_;
    std::optional<double> gross_;
    bool opened_ = false;
    bool saved_ = false;
    bool overridden_ = false;
    bool cancelPending_ = false;
    std::optional<double> zeroReading_, spanReading_, referenceKg_, checkReading_;
    std::optional<std::int32_t> counterAfter_;
    std::vector<TLinPoint> linPoints_;
    std::int32_t decimals_ = 0, stepSize_ = 1, noMotionMs_ = 0;
    std::optional<std::int32_t> max_;  // CM as written
};

// The wizard's text of a module error with what to do about it.
std::string CalibrationAdvice(int errorCode);
