#include "CalibrationPages.h"

#include "LinearisationCurve.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

// A page with its title, what to do, and the line that says what it sends.
QVBoxLayout* NewPage(QStackedWidget* stack, const QString& title, const QString& text, QList<QLabel*>& sends)
{
    auto* page = new QWidget(stack);
    auto* layout = new QVBoxLayout(page);
    auto* heading = new QLabel(QStringLiteral("<b>%1</b>").arg(title), page);
    auto* what = new QLabel(text, page);
    what->setWordWrap(true);
    auto* sendsLabel = new QLabel(page);
    sendsLabel->setWordWrap(true);
    sendsLabel->setObjectName(QStringLiteral("Sends"));
    layout->addWidget(heading);
    layout->addWidget(what);
    layout->addWidget(sendsLabel);
    sends.append(sendsLabel);
    stack->addWidget(page);
    return layout;
}

TWeighRow AddWeighRow(QVBoxLayout* layout, const QString& overrideText)
{
    auto* parent = layout->parentWidget();
    TWeighRow row{new QLabel(parent), new QProgressBar(parent), new QCheckBox(overrideText, parent)};
    row.Gross->setObjectName(QStringLiteral("Gross"));
    row.Steadiness->setRange(0, 100);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Gross weight:"), row.Gross);
    form->addRow(QStringLiteral("Steadiness:"), row.Steadiness);
    layout->addLayout(form);
    layout->addWidget(row.Override);
    return row;
}

QPushButton* AddButton(QVBoxLayout* layout, const QString& text, const char* name)
{
    auto* button = new QPushButton(text, layout->parentWidget());
    button->setObjectName(QString::fromLatin1(name));
    layout->addWidget(button, 0, Qt::AlignLeft);
    return button;
}

QDoubleSpinBox* KgBox(QWidget* parent)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(0.0, 1000000.0);
    box->setDecimals(3);
    box->setSuffix(QStringLiteral(" kg"));
    return box;
}

}  // namespace

TCalibrationPages::TCalibrationPages(QStackedWidget* stack)
{
    const QString moving = QStringLiteral("Use the reading although the weight is not at rest");

    auto* values = NewPage(stack, QStringLiteral("1. The module's calibration"),
                           QStringLiteral("These are the calibration values the module holds now. The module "
                                          "protects them: Calibrate Enable (CE) opens them for change, and the "
                                          "module counts every saved change in its calibration counter."),
                           Sends);
    Values = new QLabel(stack);
    Values->setTextFormat(Qt::RichText);
    values->addWidget(Values);
    values->addStretch();
    OpenButton = AddButton(values, QStringLiteral("Open calibration"), "OpenButton");

    auto* zero = NewPage(stack, QStringLiteral("2. Zero"),
                         QStringLiteral("Empty the scale: take every load off it. Wait until the weight rests "
                                        "(the bar is full), then set the zero."),
                         Sends);
    ZeroRow = AddWeighRow(zero, moving);
    zero->addStretch();
    ZeroButton = AddButton(zero, QStringLiteral("Set zero"), "ZeroButton");

    auto* span = NewPage(stack, QStringLiteral("3. Span"),
                         QStringLiteral("Place the reference weight on the scale and enter its value. Wait until "
                                        "the weight rests, then set the span."),
                         Sends);
    Reference = KgBox(stack);
    Reference->setObjectName(QStringLiteral("Reference"));
    auto* referenceForm = new QFormLayout;
    referenceForm->addRow(QStringLiteral("Reference weight:"), Reference);
    span->addLayout(referenceForm);
    SpanRow = AddWeighRow(span, moving);
    span->addStretch();
    SpanButton = AddButton(span, QStringLiteral("Set span"), "SpanButton");

    auto* limits = NewPage(stack, QStringLiteral("4. Maximum, display step and decimal point (optional)"),
                           QStringLiteral("Change these only if the scale needs other values; only changed "
                                          "values are written. Weights are in display units: the value times "
                                          "10 to the minus decimal point, in kg."),
                           Sends);
    Max = new QSpinBox(stack);
    Max->setRange(1, 9999999);
    StepSize = new QSpinBox(stack);
    StepSize->setRange(1, 100);
    Decimals = new QSpinBox(stack);
    Decimals->setRange(0, 4);
    auto* limitsForm = new QFormLayout;
    limitsForm->addRow(QStringLiteral("Maximum (CM):"), Max);
    limitsForm->addRow(QStringLiteral("Display step (DS):"), StepSize);
    limitsForm->addRow(QStringLiteral("Decimal point (DP):"), Decimals);
    limits->addLayout(limitsForm);
    limits->addStretch();
    auto* limitButtons = new QHBoxLayout;
    LimitsButton = new QPushButton(QStringLiteral("Write changes"), stack);
    LimitsButton->setObjectName(QStringLiteral("LimitsButton"));
    SkipLimitsButton = new QPushButton(QStringLiteral("Skip"), stack);
    SkipLimitsButton->setObjectName(QStringLiteral("SkipLimitsButton"));
    limitButtons->addWidget(LimitsButton);
    limitButtons->addWidget(SkipLimitsButton);
    limitButtons->addStretch();
    limits->addLayout(limitButtons);

    auto* lin = NewPage(stack, QStringLiteral("5. Linearisation (optional)"),
                        QStringLiteral("For each point: place weight N, enter its true value, wait until it "
                                       "rests and keep the point. Start over clears the module's linearisation "
                                       "(ClrLin) first, so that the readings are straight. The points are written "
                                       "(LinX, LinY) when you write them, before saving."),
                        Sends);
    PointValue = KgBox(stack);
    PointValue->setObjectName(QStringLiteral("PointValue"));
    auto* pointForm = new QFormLayout;
    pointForm->addRow(QStringLiteral("True value of the weight:"), PointValue);
    lin->addLayout(pointForm);
    LinRow = AddWeighRow(lin, moving);
    auto* linBody = new QHBoxLayout;
    Points = new QListWidget(stack);
    Points->setMaximumWidth(220);
    Curve = new TLinearisationCurve(stack);
    linBody->addWidget(Points);
    linBody->addWidget(Curve, 1);
    lin->addLayout(linBody, 1);
    auto* linButtons = new QHBoxLayout;
    KeepPointButton = new QPushButton(QStringLiteral("Keep point"), stack);
    KeepPointButton->setObjectName(QStringLiteral("KeepPointButton"));
    ClearLinButton = new QPushButton(QStringLiteral("Start over (ClrLin)"), stack);
    ClearLinButton->setObjectName(QStringLiteral("ClearLinButton"));
    WriteLinButton = new QPushButton(QStringLiteral("Write points"), stack);
    WriteLinButton->setObjectName(QStringLiteral("WriteLinButton"));
    SkipLinButton = new QPushButton(QStringLiteral("Skip"), stack);
    SkipLinButton->setObjectName(QStringLiteral("SkipLinButton"));
    for (QPushButton* b : {KeepPointButton, ClearLinButton, WriteLinButton, SkipLinButton}) linButtons->addWidget(b);
    lin->addLayout(linButtons);

    auto* save = NewPage(stack, QStringLiteral("6. Save"),
                         QStringLiteral("Save (CS) stores the calibration values CZ, CG, CM, DS, DP and ZT in "
                                        "the module, and the module counts the change. Until then Cancel leaves "
                                        "the module's saved calibration as it was."),
                         Sends);
    save->addStretch();
    SaveButton = AddButton(save, QStringLiteral("Save calibration"), "SaveButton");

    auto* check = NewPage(stack, QStringLiteral("7. Check"),
                          QStringLiteral("Leave the reference weight on the scale: once it rests, its gross "
                                         "weight is compared with the reference."),
                          Sends);
    CheckRow = AddWeighRow(check, moving);
    CheckRow.Override->hide();
    CheckResult = new QLabel(stack);
    CheckResult->setObjectName(QStringLiteral("CheckResult"));
    CheckResult->setWordWrap(true);
    check->addWidget(CheckResult);
    check->addStretch();
    CloseCalButton = AddButton(check, QStringLiteral("Close calibration"), "CloseCalButton");

    auto* end = NewPage(stack, QStringLiteral("Finished"), QString(), Sends);
    Summary = new QLabel(stack);
    Summary->setObjectName(QStringLiteral("Summary"));
    Summary->setWordWrap(true);
    end->addWidget(Summary);
    Operator = new QLineEdit(stack);
    Operator->setObjectName(QStringLiteral("Operator"));
    Operator->setPlaceholderText(QStringLiteral("your name"));
    OperatorLabel = new QLabel(QStringLiteral("Operator:"), stack);
    auto* operatorForm = new QFormLayout;
    operatorForm->addRow(OperatorLabel, Operator);
    end->addLayout(operatorForm);
    end->addStretch();
    auto* certificate = new QHBoxLayout;
    CertificateButton = new QPushButton(QStringLiteral("Certificate (PDF)..."), stack);
    CertificateButton->setObjectName(QStringLiteral("CertificateButton"));
    PrintButton = new QPushButton(QStringLiteral("Print certificate..."), stack);
    PrintButton->setObjectName(QStringLiteral("PrintButton"));
    certificate->addWidget(CertificateButton);
    certificate->addWidget(PrintButton);
    certificate->addStretch();
    end->addLayout(certificate);
}
