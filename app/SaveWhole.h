#pragma once
// Writes a file in one piece: the text goes beside the old file first and
// replaces it only when all of it was written, so a full disk or a failed
// write never leaves a truncated file where a good one was.
#include <QString>
#include <string>

// False with the reason in `error` when the file could not be written.
bool SaveWhole(const QString& fileName, const std::string& text, QString& error);
