// Module > Calibrate... against quorvel-slave with weights put on its scale
// through the simulator's control pipe: a calibration to a 50 kg reference,
// refusals that leave the saved calibration alone, and a shaking scale.
#include "MainFormTestSupport.h"

#include "app/calibrate/CalibrationWizard.h"
#include "tests/support/TempFolder.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <fstream>

using namespace apptest;
using Step = TCalibrationFlow::TStep;

namespace {

class CalibrationWizardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
        slave = std::make_unique<TSlaveProcess>(
            std::vector<std::string>{"--modules", "1", "--load", "0:7", "--control", pipe});
        form = std::make_unique<TForm1>();
        form->StartButton->click();
        ASSERT_TRUE(WaitFor([&] { return form->edbxCommStatus->text() == "Connected"; }, 10000));
    }
    void TearDown() override
    {
        CloseAllBoxes();
        form.reset();
        slave.reset();
    }
    void Scale(const std::string& line) { std::ofstream(pipe) << line << "\n"; }
    // Module > Calibrate..., waiting until the module's values are read.
    TCalibrationWizard* Begin()
    {
        form->findChild<QAction*>("actCalibrate")->trigger();
        wizard = form->findChild<TCalibrationWizard*>();
        EXPECT_TRUE(wizard && wizard->isVisible());
        EXPECT_TRUE(At(Step::Values));
        return wizard;
    }
    const TCalibrationFlow& Flow() const { return *wizard->Flow(); }
    bool At(Step step, int ms = 10000) const
    {
        return WaitFor([&] { return Flow().Step() == step && !Flow().Busy(); }, ms);
    }
    // Clicks once the button is enabled (a weighing step: once the weight rests).
    bool Click(QPushButton* button)
    {
        if (!WaitFor([&] { return button->isEnabled(); }, 10000)) return false;
        button->click();
        return true;
    }
    QString ProblemText() const { return wizard->Problem->text(); }
    void Queue(const TByteString& command)
    {
        form->QueueCommand(0, command);
        ASSERT_TRUE(WaitFor([&] { return !form->Channel.Pending() && form->Channel.QueueEmpty(); }, 10000));
    }

    TTempTree tree;
    std::string pipe = (tree.Work() / "scale").string();
    std::unique_ptr<TSlaveProcess> slave;
    std::unique_ptr<TForm1> form;
    TCalibrationWizard* wizard = nullptr;
};

}  // namespace

TEST_F(CalibrationWizardTest, ACalibrationToFiftyKilogramsReadsFiftyAfterwardsAndIsCertified)
{
    // Spoil the calibration first: zero with 7 kg on the scale.
    Queue({0x04, 0x03, 0x01, 0x00, 0x00, 0x00});
    Queue({0x04, 0x0A, 0x00, 0x00, 0x00, 0x00});
    Queue({0x04, 0x03, 0x00, 0x00, 0x00, 0x00});
    Begin();
    const auto counter = Flow().CounterBefore();
    ASSERT_TRUE(counter);
    ASSERT_TRUE(Click(wizard->Pages.OpenButton));
    ASSERT_TRUE(At(Step::Zero));
    Scale("load 0 0");
    EXPECT_TRUE(WaitFor([&] { return Flow().Gross() && *Flow().Gross() < -6.5; }, 5000)) << "reads -7 when empty";
    ASSERT_TRUE(Click(wizard->Pages.ZeroButton));
    ASSERT_TRUE(At(Step::Span)) << ProblemText().toStdString();
    Scale("load 0 50");
    ASSERT_TRUE(WaitFor([&] { return *Flow().Gross() > 42; }, 5000)) << "reads 43 before the span";
    wizard->Pages.Reference->setValue(50);
    EXPECT_EQ(wizard->Pages.Sends[2]->text(), "Sends Calibrate Gain CG 500 (04 04 F4 01 00 00).");
    ASSERT_TRUE(Click(wizard->Pages.SpanButton));
    ASSERT_TRUE(At(Step::Limits)) << ProblemText().toStdString();
    EXPECT_TRUE(wizard->Pages.LimitsButton->isDefault()) << "Enter is the step's action, never Cancel";
    EXPECT_FALSE(wizard->CancelButton->isDefault());
    ASSERT_TRUE(Click(wizard->Pages.SkipLimitsButton));
    ASSERT_TRUE(Click(wizard->Pages.SkipLinButton));
    ASSERT_TRUE(Click(wizard->Pages.SaveButton));
    ASSERT_TRUE(At(Step::Check));
    ASSERT_TRUE(WaitFor([&] { return Flow().CheckSteps().has_value(); }, 10000));
    EXPECT_NEAR(*Flow().CheckReading(), 50.0, 0.1 + 1e-6);
    EXPECT_LE(std::abs(*Flow().CheckSteps()), 1.0);
    EXPECT_TRUE(wizard->Pages.CheckResult->text().contains("within one display step"));
    EXPECT_TRUE(wizard->Pages.CheckResult->text().contains("reference 50.0 kg:")) << "with the module's DP of 1";
    EXPECT_EQ(Flow().CounterAfter(), *counter + 1);
    ASSERT_TRUE(Click(wizard->Pages.CloseCalButton));
    ASSERT_TRUE(At(Step::Done));

    wizard->Pages.Operator->setText("A. Tester");
    QString error;
    const QString pdf = QString::fromStdString((tree.Work() / "certificate.pdf").string());
    ASSERT_TRUE(wizard->WriteCertificate(pdf, error)) << error.toStdString();
    EXPECT_TRUE(wizard->Pages.Summary->text().endsWith("Certificate written to " + pdf + "."))
        << wizard->Pages.Summary->text().toStdString();
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
    const QString text = CertificateHtml(Flow(), {3, "A. Tester", {}});
    for (const char* part : {"A. Tester", "50.000 kg", "00231C48", "500 ms"}) EXPECT_TRUE(text.contains(part)) << part;
}

TEST_F(CalibrationWizardTest, ARefusedStepShowsItsTextAndLeavesTheSavedCalibrationAlone)
{
    Begin();
    const auto counter = Flow().CounterBefore();
    const auto gain = Flow().Reading(calkeys::CG);
    ASSERT_TRUE(Click(wizard->Pages.OpenButton));
    ASSERT_TRUE(At(Step::Zero));
    Queue({0x04, 0x03, 0x00, 0x00, 0x00, 0x00});  // someone closes the calibration meanwhile
    ASSERT_TRUE(Click(wizard->Pages.ZeroButton));
    ASSERT_TRUE(WaitFor([&] { return ProblemText().contains("CZ refused: ** CAL_NOT_OPEN **"); }, 10000))
        << ProblemText().toStdString();
    EXPECT_EQ(Flow().Step(), Step::Zero);
    wizard->CancelButton->click();
    ASSERT_TRUE(At(Step::Cancelled));

    Begin();
    ASSERT_TRUE(Click(wizard->Pages.OpenButton));
    ASSERT_TRUE(Click(wizard->Pages.ZeroButton));
    ASSERT_TRUE(At(Step::Span));
    Scale("load 0 50");
    ASSERT_TRUE(WaitFor([&] { return *Flow().Gross() > 42; }, 5000)) << "zeroed with 7 kg on";
    wizard->Pages.Reference->setValue(2000);  // above the maximum of 1500 kg
    ASSERT_TRUE(Click(wizard->Pages.SpanButton));
    ASSERT_TRUE(WaitFor([&] { return ProblemText().contains("CG refused: ** BAD_CAL_VALUE **"); }, 10000))
        << ProblemText().toStdString();
    EXPECT_EQ(Flow().Step(), Step::Span);
    wizard->CancelButton->click();
    ASSERT_TRUE(At(Step::Cancelled));
    EXPECT_TRUE(wizard->Pages.Summary->text().contains("saved calibration is as it was"));

    Begin();
    EXPECT_EQ(Flow().CounterBefore(), counter);
    EXPECT_EQ(Flow().Reading(calkeys::CG), gain);
    EXPECT_EQ(Flow().Reading(calkeys::CE), 0) << "cancel closed the calibration";
}

TEST_F(CalibrationWizardTest, AShakingScaleHoldsTheWizardAtTheWaitingStep)
{
    Begin();
    ASSERT_TRUE(Click(wizard->Pages.OpenButton));
    ASSERT_TRUE(At(Step::Zero));
    Scale("motion 0 on");
    Pump(1000);  // the swing reaches the readings
    for (int i = 0; i < 30; ++i) {
        Pump(100);
        ASSERT_FALSE(wizard->Pages.ZeroButton->isEnabled()) << i;
        ASSERT_LT(wizard->Pages.ZeroRow.Steadiness->value(), 100);
    }
    EXPECT_TRUE(wizard->Pages.ZeroRow.Steadiness->text().startsWith("not at rest"))
        << wizard->Pages.ZeroRow.Steadiness->text().toStdString();
    EXPECT_EQ(Flow().Step(), Step::Zero);
    wizard->Pages.ZeroRow.Override->setChecked(true);
    ASSERT_TRUE(Click(wizard->Pages.ZeroButton));
    ASSERT_TRUE(WaitFor([&] { return ProblemText().contains("CZ refused: ** NOT_STABLE **"); }, 10000))
        << "the module itself refuses a moving zero: " << ProblemText().toStdString();
    EXPECT_TRUE(Flow().Overridden());
}

TEST_F(CalibrationWizardTest, SetZeroUnder50KilogramsAsksFirstAndCancelPutsTheZeroBack)
{
    Scale("load 0 50");
    Begin();
    ASSERT_TRUE(Click(wizard->Pages.OpenButton));
    ASSERT_TRUE(At(Step::Zero));
    ASSERT_TRUE(WaitFor([&] { return Flow().Gross() && *Flow().Gross() > 49; }, 5000));
    ASSERT_TRUE(Click(wizard->Pages.ZeroButton));
    QMessageBox* box = WaitForBox(*form, "ZeroQuestionBox", 5000);
    ASSERT_TRUE(box);
    EXPECT_TRUE(
        QRegularExpression("^The scale reads (49\\.9|50\\.[0-2]) kg\\. Is it empty\\?$").match(box->text()).hasMatch())
        << box->text().toStdString();
    box->button(QMessageBox::No)->click();
    Pump(300);
    EXPECT_EQ(Flow().Step(), Step::Zero) << "No leaves the zero alone";
    ASSERT_TRUE(Click(wizard->Pages.ZeroButton));
    ASSERT_TRUE((box = WaitForBox(*form, "ZeroQuestionBox", 5000)));
    box->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(At(Step::Span)) << ProblemText().toStdString();
    ASSERT_TRUE(WaitFor([&] { return std::abs(*Flow().Gross()) < 1; }, 5000)) << "the session's zero is in use";

    wizard->CancelButton->click();
    ASSERT_TRUE(At(Step::Cancelled));
    EXPECT_TRUE(WaitFor([&] { return *Flow().Gross() > 49; }, 5000)) << "the zero of the start is back";
    const QString summary = wizard->Pages.Summary->text();
    EXPECT_TRUE(summary.contains("Put back the values read at the start: CZ")) << summary.toStdString();
    EXPECT_FALSE(summary.contains("Not put back")) << summary.toStdString();
    EXPECT_FALSE(wizard->Pages.OperatorLabel->isVisibleTo(wizard)) << "no name is asked without a certificate";
}
