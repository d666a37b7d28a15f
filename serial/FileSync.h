// Makes a file's or a folder's contents durable: what was written reaches the
// disk before the caller goes on (a rename into place, say).
#pragma once

#include <string>

namespace filesync {

// Flushes the file or folder at `path` to the disk. False with the system's
// reason in `error` when it cannot.
bool Sync(const std::string& path, std::string& error);

}  // namespace filesync
