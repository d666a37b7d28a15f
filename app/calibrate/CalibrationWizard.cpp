#include "CalibrationWizard.h"

#include "app/FileDialogs.h"
#include "Certificate.h"
#include "LinearisationCurve.h"
#include "core/ResultText.h"
#include "module/core/CalibrationKeys.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <array>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStringList>
#include <QVBoxLayout>
#include <cmath>
#include <map>

using Step = TCalibrationFlow::TStep;

namespace {

QString KgText(double kg, int decimals = 3) { return QString::number(kg, 'f', decimals) + QStringLiteral(" kg"); }

// Weights as the module shows them: with its own decimal places (DP).
int ShownDecimals(const TCalibrationFlow& f)
{
    return std::clamp(static_cast<int>(f.Final(calkeys::DP).value_or(3)), 0, 4);
}

QString Hex(const TByteString& command) { return QString::fromStdString(HexDump(command)).trimmed(); }

// What a cancel before saving left in the module: the values written back
// and read back, and plainly what could not be put back.
QString CancelSummary(const TCalibrationFlow& f)
{
    QString text = QStringLiteral(
        "Cancelled. Nothing was saved: the module's saved calibration is as it was, and the calibration is "
        "closed again.");
    QStringList back, refused;
    for (const TCalibrationFlow::TRestore& r : f.Restored()) {
        const QString key = QString::fromStdString(r.key);
        if (!r.refusal.empty())
            refused << QStringLiteral("%1 (%2)").arg(key, QString::fromStdString(r.refusal));
        else if (r.now != r.value)
            refused << QStringLiteral("%1 (reads %2, not %3)")
                           .arg(key, r.now ? QString::number(*r.now) : QStringLiteral("nothing"))
                           .arg(r.value);
        else
            back << QStringLiteral("%1 %2").arg(key).arg(r.value);
    }
    QStringList kept;
    for (const std::string& key : f.NotRestored()) kept << QString::fromStdString(key);
    if (!back.isEmpty())
        text += QStringLiteral(" Put back the values read at the start: %1.").arg(back.join(QStringLiteral(", ")));
    if (!refused.isEmpty()) text += QStringLiteral(" Not put back: %1.").arg(refused.join(QStringLiteral(", ")));
    if (!kept.isEmpty())
        text += QStringLiteral(" %1 cannot be written back: the module takes them from the load on the scale.")
                    .arg(kept.join(QStringLiteral(", ")));
    if (!refused.isEmpty() || !kept.isEmpty())
        text += QStringLiteral(
            " The module works with these values of the session until it reloads its saved calibration: "
            "switch it off and on, or calibrate it again.");
    return text;
}

}  // namespace

TCalibrationWizard::TCalibrationWizard(QWidget* window, THooks hooks)
    : QDialog(window), Stack(new QStackedWidget(this)), Pages(Stack), hooks_(std::move(hooks))
{
    setObjectName(QStringLiteral("CalibrationWizard"));
    setModal(false);
    setWindowModality(Qt::NonModal);
    resize(560, 520);
    Problem = new QLabel(this);
    Problem->setObjectName(QStringLiteral("Problem"));
    Problem->setWordWrap(true);
    Problem->setStyleSheet(QStringLiteral("color: #800000"));
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CancelButton->setAutoDefault(false);  // focused, Cancel still leaves Enter to the step's action
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CancelButton);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Stack, 1);
    layout->addWidget(Problem);
    layout->addLayout(buttons);

    const auto act = [this](QPushButton* button, std::function<void(TCalibrationFlow&)> action) {
        connect(button, &QPushButton::clicked, this, [this, action] { Act(action); });
    };
    const TCalibrationPages& p = Pages;
    act(p.OpenButton, [](TCalibrationFlow& f) { f.Open(); });
    act(p.SpanButton, [&p](TCalibrationFlow& f) { f.SetSpan(p.Reference->value(), p.SpanRow.Override->isChecked()); });
    act(p.LimitsButton,
        [&p](TCalibrationFlow& f) { f.WriteLimits(p.Max->value(), p.StepSize->value(), p.Decimals->value()); });
    act(p.SkipLimitsButton, [](TCalibrationFlow& f) { f.SkipLimits(); });
    act(p.KeepPointButton,
        [&p](TCalibrationFlow& f) { f.AddLinPoint(p.PointValue->value(), p.LinRow.Override->isChecked()); });
    act(p.ClearLinButton, [](TCalibrationFlow& f) { f.ClearLinearisation(); });
    act(p.WriteLinButton, [](TCalibrationFlow& f) { f.WriteLinearisation(); });
    act(p.SkipLinButton, [](TCalibrationFlow& f) { f.SkipLinearisation(); });
    act(p.SaveButton, [](TCalibrationFlow& f) { f.Save(); });
    act(p.CloseCalButton, [](TCalibrationFlow& f) { f.Close(); });
    act(CancelButton, [](TCalibrationFlow& f) { f.Cancel(); });
    connect(p.ZeroButton, &QPushButton::clicked, this, [this] { ZeroClick(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::hide);
    connect(p.CertificateButton, &QPushButton::clicked, this, [this] { AskCertificate(); });
    connect(p.PrintButton, &QPushButton::clicked, this, [this] { PrintCertificateClick(); });
    for (const TWeighRow* row : {&p.ZeroRow, &p.SpanRow, &p.LinRow})
        connect(row->Override, &QCheckBox::toggled, this, [this] { Refresh(); });
    connect(p.Reference, &QDoubleSpinBox::valueChanged, this, [this] { Refresh(); });
}

void TCalibrationWizard::Begin()
{
    if (flow_ && flow_->Step() != Step::Done && flow_->Step() != Step::Cancelled) return;
    flow_ = std::make_unique<TCalibrationFlow>(hooks_.selectedModule(), calkeys::Commands());
    client_.Forget();
    certificateFile_.clear();
    slaveAddress_ = hooks_.slaveAddress();
    setWindowTitle(QStringLiteral("Calibrate module %1").arg(flow_->Unit()));
    for (QCheckBox* box : {Pages.ZeroRow.Override, Pages.SpanRow.Override, Pages.LinRow.Override})
        box->setChecked(false);
    Pages.Points->clear();
    Pages.Curve->SetPoints({});
    Pump();
    Refresh();
}

void TCalibrationWizard::reject()
{
    if (flow_) Act([](TCalibrationFlow& f) { f.Cancel(); });
    QDialog::reject();
}

void TCalibrationWizard::Act(const std::function<void(TCalibrationFlow&)>& action)
{
    if (!flow_) return;
    action(*flow_);
    Pump();
    Refresh();
}

// One command of the flow at a time: the next goes to the queue once the
// last one's result (or its give-up) came back.
void TCalibrationWizard::Pump()
{
    if (client_.InFlight() || !flow_) return;
    if (const auto next = flow_->Next()) {
        client_.Sent(flow_->Unit(), *next);
        hooks_.queueCommand(flow_->Unit(), *next);
    }
}

void TCalibrationWizard::TakeResult(const TCommandResult& result)
{
    if (!flow_) return;
    const auto was = client_.Ends(result);
    if (!was) return;
    // After a cancel the flow waits for another command: this end is stale.
    if (flow_->Next() == was) {
        if (result.givenUp)
            flow_->GiveUp();
        else
            flow_->TakeResult(result.stat, result.value);
    }
    Pump();
    Refresh();
}

// Far from zero the scale is hardly empty: a box asks before it zeroes.
void TCalibrationWizard::ZeroClick()
{
    const auto zero = [this] { Act([this](TCalibrationFlow& f) { f.SetZero(Pages.ZeroRow.Override->isChecked()); }); };
    if (!flow_ || !flow_->FarFromZero()) return zero();
    if (!zeroQuestion_) {
        zeroQuestion_ = new QMessageBox(QMessageBox::Question, QStringLiteral("Set zero"), QString(),
                                        QMessageBox::Yes | QMessageBox::No, this);
        zeroQuestion_->setObjectName(QStringLiteral("ZeroQuestionBox"));
        zeroQuestion_->setDefaultButton(QMessageBox::No);
        connect(zeroQuestion_, &QMessageBox::finished, this, [this, zero](int answer) {
            if (answer == QMessageBox::Yes) zero();
        });
    }
    zeroQuestion_->setText(
        QStringLiteral("The scale reads %1. Is it empty?").arg(KgText(*flow_->Gross(), ShownDecimals(*flow_))));
    zeroQuestion_->open();
}

void TCalibrationWizard::Weighed(int k, double gross)
{
    if (!flow_ || k != flow_->Unit()) return;
    flow_->AddGross(TSteadiness::TClock::now(), gross);
    if (isVisible()) Refresh();
}

QString TCalibrationWizard::Sends(Step step) const
{
    using namespace calkeys;
    const TCalibrationFlow& f = *flow_;
    const auto line = [](const QString& what, const TByteString& bytes) {
        return QStringLiteral("Sends %1 (%2).").arg(what, Hex(bytes));
    };
    switch (step) {
    case Step::Values: return line(QStringLiteral("Calibrate Enable CE 1"), Write(CE, 1));
    case Step::Zero: return line(QStringLiteral("Calibrate Zero CZ"), Read(CZ));
    case Step::Span: {
        const std::int32_t units = f.DisplayUnits(Pages.Reference->value());
        return line(QStringLiteral("Calibrate Gain CG %1").arg(units), Write(CG, units));
    }
    case Step::Limits:
        return QStringLiteral("Sends CM, DS and DP (04 07, 04 0C, 04 0B with the value) for the values changed.");
    case Step::Linearise:
        return QStringLiteral(
                   "Start over sends ClrLin (%1); Write points sends LinX and LinY (2B 4n, 2B 5n with "
                   "the value) for each point n.")
            .arg(Hex(Read(ClrLin)));
    case Step::Save: return line(QStringLiteral("Save CS"), Read(CS));
    case Step::Check: return line(QStringLiteral("Calibrate Enable CE 0, closing the calibration"), Write(CE, 0));
    default: return QString();
    }
}

void TCalibrationWizard::ShowWeigh(const TWeighRow& row) const
{
    const TCalibrationFlow& f = *flow_;
    row.Gross->setText(f.Gross() ? KgText(*f.Gross(), ShownDecimals(f))
                                 : QStringLiteral("no reading (is the link in data exchange?)"));
    const int steadiness = static_cast<int>(std::lround(f.Steadiness().Fraction() * 100));
    row.Steadiness->setValue(steadiness);
    // "at rest" only when it is: a part-filled bar says the wait goes on.
    row.Steadiness->setFormat(steadiness >= 100 ? QStringLiteral("at rest") : QStringLiteral("not at rest yet (%p %)"));
    row.Steadiness->setToolTip(QStringLiteral("At rest: the gross weight stays within one display step (%1) "
                                              "over the module's no-motion time (%2 ms)")
                                   .arg(KgText(f.StepKg(), 4))
                                   .arg(f.Steadiness().Window().count()));
}

void TCalibrationWizard::Refresh()
{
    if (!flow_) return;
    const TCalibrationFlow& f = *flow_;
    const Step step = f.Step();
    const bool ended = step == Step::Done || step == Step::Cancelled;
    Stack->setCurrentIndex(ended ? Stack->count() - 1 : static_cast<int>(step));
    const bool idle = !f.Busy();
    const auto weighOk = [&](const TWeighRow& row) {
        return idle && f.Gross() && (f.Steady() || row.Override->isChecked());
    };
    TCalibrationPages& p = Pages;
    if (!ended) p.Sends[static_cast<int>(step)]->setText(Sends(step));
    p.OpenButton->setEnabled(idle && step == Step::Values);
    p.ZeroButton->setEnabled(weighOk(p.ZeroRow));
    p.SpanButton->setEnabled(weighOk(p.SpanRow) && p.Reference->value() > 0);
    p.LimitsButton->setEnabled(idle);
    p.SkipLimitsButton->setEnabled(idle);
    p.KeepPointButton->setEnabled(weighOk(p.LinRow) && f.LinPoints().size() < calkeys::LinPoints);
    for (QPushButton* b : {p.ClearLinButton, p.WriteLinButton, p.SkipLinButton, p.SaveButton}) b->setEnabled(idle);
    p.CloseCalButton->setEnabled(idle);
    CancelButton->setEnabled(!ended);
    CloseButton->setEnabled(ended);
    // Enter is the step's action, never Cancel.
    const std::array<QPushButton*, 7> actions = {p.OpenButton,      p.ZeroButton, p.SpanButton,    p.LimitsButton,
                                                 p.KeepPointButton, p.SaveButton, p.CloseCalButton};
    QPushButton* action = step == Step::Done ? p.CertificateButton
                          : ended            ? CloseButton
                                             : actions[static_cast<std::size_t>(step)];
    if (!action->isDefault()) action->setDefault(true);

    // Each value with what it means; the identity keys in hex, as the backup shows them.
    static const std::map<std::string, QString> meaning = {
        {"CE", QStringLiteral("calibration open (1) or closed (0)")},
        {"CZ", QStringLiteral("zero point, in the module's counts")},
        {"CG", QStringLiteral("load last calibrated with, display units")},
        {"CM", QStringLiteral("maximum, display units")},
        {"DS", QStringLiteral("display step, in the last digit")},
        {"DP", QStringLiteral("digits after the decimal point")},
        {"counter", QStringLiteral("saved calibrations")},
        {"NT", QStringLiteral("no-motion time, ms")},
        {"ID", QStringLiteral("device ID")},
        {"IV", QStringLiteral("software version")}};
    QString values;
    for (const auto& r : f.Readings()) {
        const bool hex = r.key == "ID" || r.key == "IV";
        const QString value = !r.value ? QStringLiteral("not reported ") + QString::fromStdString(r.refusal)
                              : hex    ? QString::fromStdString(resulttext::Hex(*r.value, 8))
                                       : QString::number(*r.value);
        const auto it = meaning.find(r.key);
        values += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2</td><td>%3</td></tr>")
                      .arg(QString::fromStdString(r.key), value, it == meaning.end() ? QString() : it->second);
    }
    p.Values->setText(f.Busy() && step == Step::Values
                          ? QStringLiteral("Reading the module's values...")
                          : QStringLiteral("<table cellspacing=\"4\">%1</table>").arg(values));
    if (step == Step::Values && idle) {
        p.Max->setValue(f.Reading(calkeys::CM).value_or(p.Max->value()));
        p.StepSize->setValue(f.Reading(calkeys::DS).value_or(p.StepSize->value()));
        p.Decimals->setValue(f.Reading(calkeys::DP).value_or(p.Decimals->value()));
        const int decimals = std::clamp(f.Reading(calkeys::DP).value_or(3), 0, 4);
        p.Reference->setDecimals(decimals);
        p.PointValue->setDecimals(decimals);
    }
    for (const TWeighRow* row : {&p.ZeroRow, &p.SpanRow, &p.LinRow, &p.CheckRow}) ShowWeigh(*row);

    const int shown = ShownDecimals(f);  // the points and the check as the module shows weights
    if (p.Points->count() != static_cast<int>(f.LinPoints().size())) {
        p.Points->clear();
        std::vector<std::pair<double, double>> curve;
        for (std::size_t i = 0; i < f.LinPoints().size(); ++i) {
            const auto& point = f.LinPoints()[i];
            p.Points->addItem(QStringLiteral("%1: reads %2, is %3")
                                  .arg(i)
                                  .arg(KgText(point.readKg, shown), KgText(point.trueKg, shown)));
            curve.emplace_back(point.readKg, point.trueKg);
        }
        p.Curve->SetPoints(curve);
    }

    if (const auto steps = f.CheckSteps())
        p.CheckResult->setText(QStringLiteral("Gross %1 at rest, reference %2: difference %3 = %4 display steps, %5.")
                                   .arg(KgText(*f.CheckReading(), shown), KgText(*f.ReferenceKg(), shown),
                                        KgText(*f.CheckReading() - *f.ReferenceKg(), shown))
                                   .arg(*steps, 0, 'f', 1)
                                   .arg(std::abs(*steps) <= 1.0 ? QStringLiteral("within one display step")
                                                                : QStringLiteral("outside one display step")));
    else
        p.CheckResult->setText(QStringLiteral("Waiting for the weight to rest..."));

    if (step == Step::Cancelled && f.Saved())
        p.Summary->setText(
            QStringLiteral("Cancelled after saving: the new calibration is saved in the module (CS "
                           "was answered), and the calibration is closed again."));
    else if (step == Step::Cancelled)
        p.Summary->setText(CancelSummary(f));
    else if (step == Step::Done)
        p.Summary->setText(
            certificateFile_.isEmpty()
                ? QStringLiteral("Calibration saved and closed. Enter your name for the certificate.")
                : QStringLiteral("Calibration saved and closed. Certificate written to %1.").arg(certificateFile_));
    // The name is asked only for a certificate, so the whole row goes when there is none.
    p.OperatorLabel->setVisible(step == Step::Done);
    p.Operator->setVisible(step == Step::Done);
    p.CertificateButton->setVisible(step == Step::Done);
    p.PrintButton->setVisible(step == Step::Done);

    if (const auto& problem = f.Problem())
        Problem->setText(QStringLiteral("%1 refused: %2. %3")
                             .arg(QString::fromStdString(problem->key), QString::fromStdString(problem->text),
                                  QString::fromStdString(problem->advice)));
    else if (f.Busy())
        Problem->setText(
            QStringLiteral("Waiting for the module's answer to %1...").arg(QString::fromStdString(f.NextKey())));
    else
        Problem->clear();
}

void TCalibrationWizard::AskCertificate()
{
    const QString proposed = QStringLiteral("calibration-module%1-%2.pdf")
                                 .arg(flow_->Unit())
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")));
    const QString file = filedialog::SaveFileName(this, QStringLiteral("Calibration certificate"), proposed,
                                                  QStringLiteral("PDF files (*.pdf)"));
    if (file.isEmpty()) return;
    if (QString error; !WriteCertificate(file, error))
        QMessageBox::warning(this, QStringLiteral("Calibration certificate"), error);
}

TCertificateFacts TCalibrationWizard::Facts() const
{
    return {slaveAddress_, Pages.Operator->text(), QDateTime::currentDateTime()};
}

void TCalibrationWizard::PrintCertificateClick()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) PrintCertificate(printer, *flow_, Facts());
}

bool TCalibrationWizard::WriteCertificate(const QString& fileName, QString& error)
{
    if (!flow_ || flow_->Step() != Step::Done) {
        error = QStringLiteral("The calibration is not finished.");
        return false;
    }
    if (!hooks_.saveWhole(fileName, CertificatePdf(*flow_, Facts()), error)) return false;
    certificateFile_ = fileName;
    Refresh();
    return true;
}
