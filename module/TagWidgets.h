// Button and edit that carry an integer Tag, as the main window's handlers
// identify rows, pages and function keys by it.
#pragma once

#include <QLineEdit>
#include <QPushButton>

class TTagButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    int Tag = 0;
};

class TTagEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
    int Tag = 0;
};
