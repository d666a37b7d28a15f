// The window's telegram trace: File -> Record trace... feeds every telegram
// of the master into a pcapng file until Stop recording, a write failure or
// the window's closing. The menu item, the status bar and the memo show the
// recording; the status bar's field is the control's own. Owned by the main
// window, which outlives it.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QStatusBar;
class QWidget;
class T_DPV0;
class TTraceRecorder;

class TTraceControl : public QObject {
public:
    // What the control asks of the window.
    struct THooks {
        std::function<void(const QString& line)> message;  // a memo line
    };

    // `action` is the menu item, `statusBar` gets a field shown while
    // recording; `window` owns the file dialog.
    TTraceControl(T_DPV0& master, QAction* action, QStatusBar* statusBar, THooks hooks, QWidget* window);
    ~TTraceControl() override;  // stops a recording, writing out what is buffered

    // Start replaces any running recording and throws with the reason when
    // the file cannot be created.
    void Start(const QString& fileName);
    void Stop();
    bool Recording() const { return recorder_ != nullptr; }
    // The menu item: asks for the file, or stops the recording.
    void Click();
    QLabel* StatusLabel() const { return statusLabel_; }  // "lbStatusRecording"

private:
    // A write failure reported by the recorder's writer thread, on the GUI
    // thread; `recording` tells an old recording's late report apart.
    void Failed(int recording, const QString& message);
    // Detaches and closes the recorder; its failure message, if any.
    std::string Close();

    T_DPV0& master_;
    QAction* action_;
    QLabel* statusLabel_;
    THooks hooks_;
    QWidget* window_;
    std::unique_ptr<TTraceRecorder> recorder_;
    int recordingNumber_ = 0;  // counts the recordings started
    QString file_;             // the file of the recording under way
};
