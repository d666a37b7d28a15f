// Renders the function panel, the parameter pages and each dialog into PNG
// files for review (run under xvfb-run): module_shots <output folder>.
#include "Dialog1.h"
#include "Dialog2.h"
#include "Dialog3.h"
#include "Dialog4.h"
#include "FunctionButton.h"
#include "Parameters.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QToolTip>
#include <QtTest/QTest>
#include <cstdio>

namespace {

void Save(QWidget* widget, const QDir& folder, const char* name)
{
    QTest::qWait(100);
    const QString path = folder.filePath(QString::fromLatin1(name));
    std::printf("%s %s\n", widget->grab().save(path) ? "wrote" : "FAILED", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));

    QWidget window;
    window.setWindowTitle(QStringLiteral("module widgets"));
    window.resize(970, 555);
    auto* functionsBox = new QGroupBox(QStringLiteral("WZM Functions"), &window);
    functionsBox->setGeometry(8, 344, 601, 201);
    auto* paramsBox = new QGroupBox(QStringLiteral("Parameters"), &window);
    paramsBox->setGeometry(616, 16, 345, 529);
    auto* pcParams = new QTabWidget(paramsBox);
    pcParams->setGeometry(8, 16, 329, 505);
    for (const char* caption : {"Standard", "Trigger", "Filling", "Mass flow"})
        pcParams->addTab(new QWidget, QString::fromLatin1(caption));
    auto* memo = new QLabel(&window);
    memo->setGeometry(8, 16, 600, 60);
    memo->setWordWrap(true);
    TParameters parameters(pcParams, [memo](const QString& m) { memo->setText(memo->text() + m + QLatin1Char('\n')); },
                           {QUORVEL_SHIPPED_CONF});
    TFunctions functions(functionsBox);
    window.show();
    parameters.UpdateItem(0, 4, 1250);
    parameters.MarkItemUnavailable(0, 5);
    Save(&window, folder, "main-area.png");
    Save(functionsBox, folder, "function-panel.png");
    for (int page = 0; page < pcParams->count(); ++page) {
        pcParams->setCurrentIndex(page);
        const QByteArray name = "parameters-" + QByteArray::number(page) + ".png";
        Save(pcParams, folder, name.constData());
    }

    TFnButton* hinted = functions.Button(49);  // SS: four lines
    QToolTip::showText(hinted->mapToGlobal(QPoint(10, 10)), hinted->toolTip(), hinted);
    if (!QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000)) std::puts("no tooltip shown");
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->inherits("QTipLabel") && top->isVisible()) Save(top, folder, "tooltip-SS.png");
    QToolTip::hideText();

    TDialogForm1 form1;
    TFnButton* tl = functions.Button(14);  // NR: quotes in the caption
    form1.Open(tl->DialogCaption, tl->Hint());
    form1.SetTarget(1, tl->ValueCommand);
    Save(&form1, folder, "dialog1-NR.png");
    form1.ShowValue(-2147483647 - 1);
    Save(&form1, folder, "dialog1-NR-value.png");
    form1.CancelClick();

    TDialogForm2 form2;
    form2.Open(1, *functions.Button(40));
    Save(&form2, folder, "dialog2-S.png");
    form2.CancelClick();

    TDialogForm4 form4;
    form4.Open(1, *functions.Button(34));
    form4.ShowValue(1000);
    Save(&form4, folder, "dialog4-LinY.png");
    form4.CancelClick();

    TDialogForm3 form3;
    form3.Open(1, *functions.Button(74));
    Save(&form3, folder, "dialog3-unknown.png");
    const std::pair<int, const char*> states[] = {{0x1F, "dialog3-running.png"},
                                                  {0x35, "dialog3-paused.png"},
                                                  {0x20, "dialog3-odd.png"},
                                                  {0x105, "dialog3-stopped.png"}};
    for (const auto& [value, name] : states) {
        form3.UpdateState(0x29, 1, value);
        Save(&form3, folder, name);
    }
    return 0;
}
