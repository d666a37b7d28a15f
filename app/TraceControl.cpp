#include "TraceControl.h"

#include "FileDialogs.h"
#include "core/OutputFile.h"
#include "dp/Profi_dp.h"
#include "core/TraceFeed.h"
#include "trace/TraceRecorder.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QMetaObject>
#include <QStatusBar>

#include <stdexcept>

TTraceControl::TTraceControl(T_DPV0& master, QAction* action, QStatusBar* statusBar, THooks hooks, QWidget* window)
    : master_(master), action_(action), statusLabel_(new QLabel(statusBar)), hooks_(std::move(hooks)), window_(window)
{
    statusLabel_->setObjectName(QStringLiteral("lbStatusRecording"));
    statusLabel_->setStyleSheet(QStringLiteral("color: rgb(128, 0, 0)"));
    statusBar->addWidget(statusLabel_);
    statusLabel_->hide();
}

TTraceControl::~TTraceControl()
{
    if (Recording()) Close();
}

void TTraceControl::Click()
{
    if (Recording()) {
        Stop();
        return;
    }
    const QString proposed = QStringLiteral("quorvel-%1.pcapng")
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")));
    const QString file = filedialog::SaveFileName(window_, QStringLiteral("Record trace"), proposed,
                                                  QStringLiteral("Traces (*.pcapng)"));
    if (!file.isEmpty()) Start(file);
}

void TTraceControl::Start(const QString& fileName)
{
    if (Recording()) Stop();
    auto recorder = std::make_unique<TTraceRecorder>();
    const int number = ++recordingNumber_;
    std::string error;
    // The failure arrives on the recorder's writer thread: the GUI thread
    // takes it over (and drops it if the window is gone by then).
    const auto failed = [this, number](const std::string& message) {
        QMetaObject::invokeMethod(
            this, [this, number, text = QString::fromStdString(message)] { Failed(number, text); },
            Qt::QueuedConnection);
    };
    // A link, device or folder at the name is never written through.
    if (!outfile::CheckDestination(fileName.toStdString(), error) ||
        !recorder->Start(fileName.toStdString(), error, failed))
        throw std::runtime_error(error);
    recorder_ = std::move(recorder);
    file_ = fileName;
    master_.SetOnTrace(TraceFeed(*recorder_));
    action_->setText(QStringLiteral("Stop &recording"));
    statusLabel_->setText(QStringLiteral("\u25cf Recording trace"));
    statusLabel_->setToolTip(fileName);
    statusLabel_->show();
    hooks_.message(QStringLiteral("Recording trace to ") + fileName);
}

void TTraceControl::Stop()
{
    if (!Recording()) return;
    const std::string failure = Close();
    hooks_.message(failure.empty() ? QStringLiteral("Trace recording stopped; the trace is in ") + file_
                                   : QStringLiteral("Trace recording stopped: ") + QString::fromStdString(failure));
}

void TTraceControl::Failed(int recording, const QString& message)
{
    if (!Recording() || recording != recordingNumber_) return;  // stopped or replaced meanwhile
    Close();
    hooks_.message(QStringLiteral("Trace recording stopped: ") + message);
}

std::string TTraceControl::Close()
{
    master_.SetOnTrace({});
    const std::string failure = recorder_->Stop();
    recorder_.reset();
    action_->setText(QStringLiteral("&Record trace..."));
    statusLabel_->hide();
    return failure;
}
