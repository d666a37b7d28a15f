// Qt objects behind the serial and DP layers' narrow GUI interfaces: the
// port combo box, the 20 ms poll timer and the master's status edit. Their
// callbacks into the lower layers run behind the default error box.
#pragma once

#include "dp/StatusDisplay.h"
#include "serial/PollTimer.h"
#include "serial/PortChooser.h"

#include <QTimer>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QLineEdit;

// Calls `handler` when the user finishes with an editable combo box: a
// choice from its list, or Enter / leaving the box after typing. Half-typed
// text never reaches the handler, and the same typed text is not acted on
// twice. A non-editable combo reacts to choices only.
class TComboCommit {
public:
    TComboCommit(QComboBox* combo, std::function<void()> handler);
    // Text set from code: counts as already acted on.
    void Acknowledge(const QString& text) { lastText_ = text; }

private:
    void Commit(bool always);

    QComboBox* combo_;
    std::function<void()> handler_;
    QString lastText_;
};

// The port selector on the window's cbxPort.
class TQtPortChooser : public TPortChooser {
public:
    explicit TQtPortChooser(QComboBox* combo);

    void AddItem(const std::string& text, const std::string& toolTip) override;
    std::string Text() const override;
    void SetText(const std::string& text) override;
    void SetOnChange(std::function<void()> handler) override { onChange_ = std::move(handler); }
    // Lists `items` (name, tooltip) anew; the text shown stays and nothing is
    // committed, so the open port stays open.
    void Refill(const std::vector<std::pair<std::string, std::string>>& items);

private:
    void ShowWantedText();

    QComboBox* combo_;
    QString wanted_;
    std::function<void()> onChange_;
    TComboCommit commit_;
};

// A QTimer on the GUI thread. `beforeEachExpiry` (optional) runs first on
// every expiry, in the same guard.
class TQtPollTimer : public TPollTimer {
public:
    explicit TQtPollTimer(std::function<void()> beforeEachExpiry = {});

    void SetInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
    int Interval() const override { return timer_.interval(); }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return timer_.isActive(); }
    void SetOnTimer(std::function<void()> handler) override { onTimer_ = std::move(handler); }
    void WakeAt(std::chrono::steady_clock::time_point at) override;

private:
    QTimer timer_;
    QTimer wake_;  // single shot
    std::function<void()> before_;
    std::function<void()> onTimer_;
};

// The master's status text in an edit, in the colour it asks for.
class TQtStatusEdit : public TStatusDisplay {
public:
    explicit TQtStatusEdit(QLineEdit* edit) : edit_(edit) {}
    void ShowStatus(const std::string& text, const TStatusColour& colour) override;

private:
    QLineEdit* edit_;
};
