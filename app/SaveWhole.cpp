#include "SaveWhole.h"

#include "core/OutputFile.h"

#include <QFile>

bool SaveWhole(const QString& fileName, const std::string& text, QString& error)
{
    std::string why;
    if (outfile::WriteWhole(QFile::encodeName(fileName).toStdString(), text, why)) return true;
    error = QString::fromStdString(why);  // "cannot write PATH: reason", as a sentence
    if (!error.isEmpty()) error[0] = error[0].toUpper();
    return false;
}
