// The window's parameter backup and restore (Module menu) of the module
// selected: a non-modal dialog (made at its first use) runs them through the
// window's command queue. Owned by the main window, which outlives it.
#pragma once

#include "BackupDialog.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QWidget;
class T_DPV0;
class TParameters;

class TBackupControl : public QObject {
public:
    // What the control asks of the window.
    struct THooks {
        TBackupDialog::TCommandHook queue;             // the window's command queue
        TBackupDialog::TCommandHook drop;              // a queued command taken back
        std::function<std::uint8_t()> selectedModule;  // the module commands go to
        TBackupDialog::TEndHook message;               // a memo line at the end of a run
    };

    // `parameters` (may be null) are the pages whose items are saved;
    // `window` parents the dialogs and boxes.
    TBackupControl(T_DPV0& master, QWidget* window, THooks hooks, const TParameters* parameters);

    // Backup parameters... / Restore parameters...: ask for the file.
    void BackupClick();
    void RestoreClick();
    // StartBackup reads every item into `fileName`; OfferRestore checks the
    // file against the pages and shows what it would write, or says why it
    // is refused. A run already going is shown instead.
    void StartBackup(const QString& fileName);
    void OfferRestore(const QString& fileName);
    // The dialog, made when first asked for.
    TBackupDialog* Dialog();

    // The end of a command on the window's channel (a result or a give-up), for a run.
    void TakeResult(const TCommandResult& result);

private:
    // A run already going is shown instead of starting another.
    bool Busy();
    // The pages' layout; empty (after a box saying so) when none is loaded.
    std::vector<backup::TPageLayout> PageLayout();

    T_DPV0& master_;
    QWidget* window_;
    THooks hooks_;
    const TParameters* parameters_;
    TBackupDialog* dialog_ = nullptr;
};
