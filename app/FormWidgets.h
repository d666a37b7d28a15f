// Controls placed at fixed positions, as the windows of this program lay
// them out: labels with their caption, edits named for the tests and the
// styles that start empty (a control's name is never shown as a value).
#pragma once

#include <QComboBox>
#include <functional>
#include <utility>

class QLabel;
class QLineEdit;
class QWidget;

// Width and height below 0 keep the label's natural size.
QLabel* PlaceLabel(QWidget* parent, const char* caption, int left, int top, int width = -1, int height = -1);
// Height below 0 keeps the edit's natural height; `hint` (may be null) is
// shown in grey while the edit has no value.
QLineEdit* PlaceNamedEdit(QWidget* parent, const char* name, int left, int top, int width, int height = -1,
                          const char* hint = nullptr);

// A combo box that runs a handler just before its list opens (to refresh it).
class TPopupCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    void SetOnPopup(std::function<void()> handler) { onPopup_ = std::move(handler); }
    void showPopup() override
    {
        if (onPopup_) onPopup_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> onPopup_;
};
