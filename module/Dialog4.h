// Linearisation dialog of the keys LinX and LinY: point 0..6 and a value.
#pragma once

#include "PointDialog.h"

class TDialogForm4 : public TPointDialog {
    Q_OBJECT
public:
    explicit TDialogForm4(QWidget* parent = nullptr) : TPointDialog(parent, 7, QStringLiteral("Point nr."), 110)
    {
        move(390, 413);
    }
};
