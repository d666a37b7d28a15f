// Point-and-value dialog: setpoints (points 0..3) and linearisation (0..6).
// The point number goes into the low four bits of the command's index byte.
#pragma once

#include "ValueDialog.h"

class QComboBox;
class QLabel;
class TFnButton;

class TPointDialog : public TValueDialog {
    Q_OBJECT
public:
    // Copies the key's commands, offers the points, shows "?" and reads the
    // present value of point 0 (when OnCommand is set).
    void Open(std::uint8_t module, const TFnButton& button);
    // A point was chosen: reads that point's value.
    void ComboBox1Change();

    QLabel* Label1 = nullptr;  // "Point nr"
    QLabel* Label2 = nullptr;  // "Value"
    QComboBox* ComboBox1 = nullptr;
    TByteString ClickCommand;
    TByteString ValueCommand;

protected:
    TPointDialog(QWidget* parent, int pointCount, const QString& pointLabel, int clientHeight);

    TByteString WriteCommand() const override;

private:
    int pointCount_;
};
