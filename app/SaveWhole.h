#pragma once
// Writes a file in one piece (outfile::WriteWhole): the text goes beside the
// old file first, reaches the disk and only then replaces it, so a full disk
// or a failed write never leaves a truncated file where a good one was; a
// symbolic link, device or folder at the name is never replaced.
#include <QString>
#include <string>

// False with the path and reason in `error` when the file could not be written.
bool SaveWhole(const QString& fileName, const std::string& text, QString& error);
