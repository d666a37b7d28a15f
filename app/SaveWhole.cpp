#include "SaveWhole.h"

#include <QSaveFile>

bool SaveWhole(const QString& fileName, const std::string& text, QString& error)
{
    QSaveFile file(fileName);
    const auto size = static_cast<qint64>(text.size());
    if (file.open(QIODevice::WriteOnly) && file.write(text.data(), size) == size && file.commit()) return true;
    error = file.errorString();
    return false;
}
