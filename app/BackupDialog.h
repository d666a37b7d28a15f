// The window's backup and restore of one module's parameters: a non-modal
// dialog that runs a TBackupRun through the window's command queue, one
// command at a time, driven by the results the window hands it. It shows the
// progress and can be cancelled; a restore first reads the module's values,
// shows each item with the module's value and the file's, and asks before it
// writes the differing ones; the end shows the report and the counts.
#pragma once

#include "core/BackupRun.h"
#include "core/CommandClient.h"
#include "core/ParameterBackup.h"
#include "base/ByteString.h"

#include <QDialog>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class TBackupDialog : public QDialog {
    Q_OBJECT
public:
    // Queues a command for a unit, or takes back one still waiting.
    using TCommandHook = std::function<void(std::uint8_t unit, const TByteString& command)>;
    // Gets the end of each run (done, incomplete or cancelled) in one line.
    using TEndHook = std::function<void(const QString& line)>;

    TBackupDialog(QWidget* parent, TCommandHook queue, TCommandHook drop, TEndHook ended);

    // Reads every item at once; the file is written when all are answered.
    void StartBackup(TBackupRun run, std::uint8_t unit, const backup::THeader& header, const QString& fileName);
    // Reads the module's values, shows the plan and waits for Write (or Cancel).
    void OfferRestore(TBackupRun run, std::uint8_t unit, const backup::TFile& file, const QString& fileName,
                      int slaveAddress);

    bool Running() const { return running_; }
    // The end of a command the window carried, a result or a give-up: true
    // when it ends this run's command (which takes it).
    bool TakeResult(const TCommandResult& result);

    void Write();
    void Cancel();

    QLabel* Status;
    QProgressBar* Progress;
    QPlainTextEdit* Report;
    QPushButton* WriteButton;
    QPushButton* CancelButton;
    QPushButton* CloseButton;

protected:
    // Closing the dialog while a run goes on cancels the run.
    void reject() override;

private:
    void Begin();
    void ShowPlan();
    void SendNext();
    void Finish();
    void FinishBackup();
    void FinishRestore();
    void ShowEnd(const QString& status, const QStringList& lines);

    TCommandHook queue_;
    TCommandHook drop_;
    TEndHook ended_;
    std::optional<TBackupRun> run_;
    bool restore_ = false;
    std::uint8_t unit_ = 0;
    backup::THeader header_;
    QString fileName_;
    QStringList planHead_;   // restore: where from, where to
    TCommandClient client_;  // the run's command in the queue or on the line
    bool running_ = false;
};
