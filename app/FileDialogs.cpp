#include "FileDialogs.h"

#include "MainForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace filedialog {

namespace {

const QString FolderKey = QStringLiteral("lastFolder");

QSettings WindowSettings()
{
    return QSettings(QCoreApplication::organizationName(), QString::fromLatin1(TForm1::SettingsName));
}

QString Remembered(const QString& file)
{
    if (!file.isEmpty()) RememberFolder(file);
    return file;
}

}  // namespace

QString StartFolder()
{
    const QString last = WindowSettings().value(FolderKey).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void RememberFolder(const QString& file) { WindowSettings().setValue(FolderKey, QFileInfo(file).absolutePath()); }

QString SaveFileName(QWidget* parent, const QString& title, const QString& proposedName, const QString& filter)
{
    return Remembered(QFileDialog::getSaveFileName(parent, title, QDir(StartFolder()).filePath(proposedName), filter));
}

QString OpenFileName(QWidget* parent, const QString& title, const QString& filter)
{
    return Remembered(QFileDialog::getOpenFileName(parent, title, StartFolder(), filter));
}

}  // namespace filedialog
