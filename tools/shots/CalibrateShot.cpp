// Review tool (not a test): Module -> Calibrate... against quorvel-slave,
// weights put on its scale through the control pipe, each page of the wizard
// saved as a PNG on the way (linearisation with two points), and the
// certificate written as PDF. Run under xvfb-run:
//   xvfb-run -a app_calibrate_shot [output folder]
#include "tests/support/AppEnvironment.h"
#include "app/MainForm.h"
#include "app/calibrate/CalibrationWizard.h"
#include "tests/support/QtTestSupport.h"
#include "serial/VeltPort.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quorvel-shots");
    TTempTree tree;
    const std::string pipe = (tree.Work() / "scale").string();
    TSlaveProcess slave(std::vector<std::string>{"--modules", "1", "--load", "0:3", "--control", pipe});
    // A new load reaches the readings within a few cycles.
    const auto scale = [&](const std::string& line) {
        std::ofstream(pipe) << line << "\n";
        Pump(800);
    };
    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });

    TForm1 form;
    form.show();
    form.StartButton->click();
    WaitFor([&] { return form.edbxCommStatus->text() == QLatin1String("Connected"); }, 10000);
    form.findChild<QAction*>("actCalibrate")->trigger();
    auto* wizard = form.findChild<TCalibrationWizard*>();
    TCalibrationPages& p = wizard->Pages;
    int saved = 0, pages = 0;
    const auto shot = [&](const char* name) {
        Pump(300);
        ++pages;
        saved += wizard->grab().save(folder + "/calibrate-" + name + ".png") ? 1 : 0;
    };
    const auto click = [&](QPushButton* button) {
        WaitFor([&] { return button->isEnabled(); }, 15000);
        button->click();
        Pump(200);
        WaitFor([&] { return !wizard->Flow()->Busy(); }, 15000);
    };
    WaitFor([&] { return p.OpenButton->isEnabled(); }, 15000);
    shot("1-values");
    click(p.OpenButton);
    scale("load 0 0");
    shot("2-zero-waiting");
    click(p.ZeroButton);
    scale("load 0 50");
    p.Reference->setValue(50);
    shot("3-span");
    click(p.SpanButton);
    shot("4-limits");
    click(p.SkipLimitsButton);
    click(p.ClearLinButton);
    for (const auto& [load, value] : {std::pair{"25.4", 25.0}, std::pair{"60", 60.0}}) {
        scale(std::string("load 0 ") + load);
        p.PointValue->setValue(value);
        click(p.KeepPointButton);
    }
    shot("5-linearisation");
    click(p.WriteLinButton);
    scale("load 0 50");
    shot("6-save");
    click(p.SaveButton);
    WaitFor([&] { return wizard->Flow()->CheckSteps().has_value(); }, 15000);
    shot("7-check");
    click(p.CloseCalButton);
    p.Operator->setText(QStringLiteral("A. Tester"));
    shot("8-finished");
    QString error;
    const bool pdf = wizard->WriteCertificate(folder + "/calibrate-certificate.pdf", error);

    // Again with 50 kg on the scale: Set zero asks first, Cancel puts the zero back.
    form.findChild<QAction*>("actCalibrate")->trigger();
    click(p.OpenButton);
    click(p.ZeroButton);
    if (auto* box = wizard->findChild<QMessageBox*>("ZeroQuestionBox")) {
        ++pages;
        saved += box->grab().save(folder + "/calibrate-9-zero-question.png") ? 1 : 0;
        box->button(QMessageBox::Yes)->click();
    }
    WaitFor([&] { return wizard->Flow()->Step() == TCalibrationFlow::TStep::Span; }, 15000);
    click(wizard->CancelButton);
    shot("10-cancelled");

    std::printf("saved %d of %d pages, certificate %s in %s\n", saved, pages,
                pdf ? "written" : error.toLocal8Bit().constData(), folder.toLocal8Bit().constData());
    return saved == pages && pdf ? 0 : 1;
}
