// Answers the message box a handler shows modally, after recording what it said.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

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
