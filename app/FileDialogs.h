#pragma once
// The dialogs that ask where a user's file goes or comes from (backup,
// restore, CSV export, saved messages, trace, certificate). They start in the
// folder of the last file chosen in any of them, remembered in window.conf,
// or, the first time and when that folder is gone, in the user's Documents
// folder: never in the program's folder, which an uninstall clears.
#include <QString>

class QWidget;

namespace filedialog {

// The folder the next dialog starts in.
QString StartFolder();

// Remembers the folder of `file` for the next dialog.
void RememberFolder(const QString& file);

// The file chosen to write, proposed as `proposedName` in the start folder;
// empty when cancelled.
QString SaveFileName(QWidget* parent, const QString& title, const QString& proposedName, const QString& filter);

// The file chosen to read; empty when cancelled.
QString OpenFileName(QWidget* parent, const QString& title, const QString& filter);

}  // namespace filedialog
