// Setpoint dialog of the keys S, H and A: point 0..3 and a value.
#pragma once

#include "PointDialog.h"

class TDialogForm2 : public TPointDialog {
    Q_OBJECT
public:
    explicit TDialogForm2(QWidget* parent = nullptr) : TPointDialog(parent, 4, QStringLiteral("Point nr"), 109)
    {
        move(388, 274);
    }
};
