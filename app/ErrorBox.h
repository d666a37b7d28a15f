// The application's default error box: every handler that reacts to user
// input or a timer runs behind Guard, which catches an escaping exception
// and shows its message in a critical message box owned by the main window,
// then lets the program go on. No exception reaches the Qt event loop.
//
// The box does not block: it is window-modal and opened without a nested
// event loop, so the link keeps running behind it. While one box is open,
// further messages are added to it instead of stacking boxes.
#pragma once

#include <QString>

#include <exception>

class QMessageBox;
class QWidget;

namespace errorbox {

// The window that owns the boxes (the main window); nullptr for none.
void SetOwner(QWidget* owner);
// While on, a box waits for the event loop (the owner is shown by then)
// instead of opening before the owner is on screen.
void HoldWhileBuilding(bool on);
void Show(const QString& message);
// The box on screen, if any.
QMessageBox* Current();

template <class F>
bool Guard(F&& handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        Show(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Show(QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace errorbox
