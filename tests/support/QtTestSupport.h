// Qt test helpers: running the event loop for a while or until a condition
// holds, answering message boxes, and acting on combo boxes as a user does.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <functional>

// Runs the event loop for `ms` milliseconds.
inline void Pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds or `ms` have passed; returns done().
inline bool WaitFor(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        Pump(5);
    }
    return true;
}

// The error box on screen (closes it when `close`), or its text "" when none.
inline QString ErrorBoxText(bool close = true)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible()) continue;
        const QString text = box->text();
        if (close) box->close();
        return text;
    }
    return {};
}

inline void CloseAllBoxes()
{
    while (!ErrorBoxText(true).isEmpty()) {
    }
    Pump(1);
}

// The user picks item `index` of a combo box from its list.
inline void Choose(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// The user types `text` into an editable combo box and presses Enter.
inline void TypeAndEnter(QComboBox* combo, const QString& text)
{
    combo->lineEdit()->setText(text);
    emit combo->lineEdit()->editingFinished();
}

// Answers the message box a handler shows modally, after recording what it said.
class TModalBoxWatcher {
public:
    TModalBoxWatcher()
    {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            ++Shown;
            Text = box->text();
            Title = box->windowTitle();
            Icon = box->icon();
            Buttons = box->standardButtons();
            box->accept();
        });
        timer_.start();
    }

    int Shown = 0;
    QString Text;
    QString Title;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;

private:
    QTimer timer_;
};
