// The pages of the calibration wizard, one widget each, and the controls the
// wizard reads and fills. Each page says what to do on the scale and what it
// will send; the weighing pages show the live gross weight and how long it
// has rested as a bar.
#pragma once

#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class TLinearisationCurve;

// The live weight, its steadiness and the override of one weighing page.
struct TWeighRow {
    QLabel* Gross;
    QProgressBar* Steadiness;
    QCheckBox* Override;  // take the reading although the weight moves
};

struct TCalibrationPages {
    // Builds every page into `stack`, in the order of TCalibrationFlow::TStep.
    explicit TCalibrationPages(QStackedWidget* stack);

    QLabel* Values;  // the calibration values read
    QPushButton* OpenButton;

    TWeighRow ZeroRow;
    QPushButton* ZeroButton;

    QDoubleSpinBox* Reference;  // kg
    TWeighRow SpanRow;
    QPushButton* SpanButton;

    QSpinBox* Max;  // CM, display units
    QSpinBox* StepSize;
    QSpinBox* Decimals;
    QPushButton* LimitsButton;
    QPushButton* SkipLimitsButton;

    QDoubleSpinBox* PointValue;  // kg
    TWeighRow LinRow;
    QPushButton* KeepPointButton;
    QListWidget* Points;
    TLinearisationCurve* Curve;
    QPushButton* ClearLinButton;
    QPushButton* WriteLinButton;
    QPushButton* SkipLinButton;

    QPushButton* SaveButton;

    TWeighRow CheckRow;
    QLabel* CheckResult;
    QPushButton* CloseCalButton;

    QLabel* Summary;
    QLabel* OperatorLabel;
    QLineEdit* Operator;
    QPushButton* CertificateButton;
    QPushButton* PrintButton;

    // Per page: the "Sends: ..." line under its instructions.
    QList<QLabel*> Sends;
};
