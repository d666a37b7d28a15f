// The window's telegram trace: File -> Record trace... feeds every telegram
// of the master into a pcapng file until Stop recording, a write failure or
// the window's closing.
#include "MainForm.h"

#include "core/OutputFile.h"
#include "dp/Profi_dp.h"
#include "core/TraceFeed.h"
#include "trace/TraceRecorder.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QMetaObject>

#include <stdexcept>

void TForm1::RecordTraceClick()
{
    if (Recording()) {
        StopRecording();
        return;
    }
    const QString proposed = QStringLiteral("quorvel-%1.pcapng")
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")));
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Record trace"), proposed,
                                                      QStringLiteral("Traces (*.pcapng)"));
    if (!file.isEmpty()) StartRecording(file);
}

void TForm1::StartRecording(const QString& fileName)
{
    if (Recording()) StopRecording();
    auto recorder = std::make_unique<TTraceRecorder>();
    const int number = ++recordingNumber_;
    std::string error;
    // The failure arrives on the recorder's writer thread: the GUI thread
    // takes it over (and drops it if the window is gone by then).
    const auto failed = [this, number](const std::string& message) {
        QMetaObject::invokeMethod(
            this, [this, number, text = QString::fromStdString(message)] { RecordingFailed(number, text); },
            Qt::QueuedConnection);
    };
    // A link, device or folder at the name is never written through.
    if (!outfile::CheckDestination(fileName.toStdString(), error) ||
        !recorder->Start(fileName.toStdString(), error, failed))
        throw std::runtime_error(error);
    recorder_ = std::move(recorder);
    Master->SetOnTrace(TraceFeed(*recorder_));
    RecordTraceAction->setText(QStringLiteral("Stop &recording"));
    lbStatusRecording->setText(QStringLiteral("\u25cf Recording trace"));
    lbStatusRecording->setToolTip(fileName);
    lbStatusRecording->show();
    AddMessage(QStringLiteral("Recording trace to ") + fileName);
}

void TForm1::StopRecording()
{
    if (!Recording()) return;
    const std::string failure = CloseRecorder();
    AddMessage(failure.empty() ? QStringLiteral("Trace recording stopped")
                               : QStringLiteral("Trace recording stopped: ") + QString::fromStdString(failure));
}

void TForm1::RecordingFailed(int recording, const QString& message)
{
    if (!Recording() || recording != recordingNumber_) return;  // stopped or replaced meanwhile
    CloseRecorder();
    AddMessage(QStringLiteral("Trace recording stopped: ") + message);
}

std::string TForm1::CloseRecorder()
{
    if (Master) Master->SetOnTrace({});
    const std::string failure = recorder_->Stop();
    recorder_.reset();
    RecordTraceAction->setText(QStringLiteral("&Record trace..."));
    lbStatusRecording->hide();
    return failure;
}
