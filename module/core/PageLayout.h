// The parameter pages as a backup sees them (no Qt here): for each page that
// Quorvel.conf describes, its caption, item texts and read and write codes.
// The window and quorvel-cli build it from the same lines, so a backup taken
// in one can be restored in the other.
#pragma once

#include "ConfigFile.h"
#include "core/BackupRun.h"
#include "core/ParameterBackup.h"

#include <string>
#include <vector>

namespace conf {

// The captions of the four pages, by position.
const std::vector<std::string>& PageCaptions();

std::vector<backup::TPageLayout> PageLayoutOf(const TLines& lines);

// The function keys whose answer identifies a module (device ID, software
// version), with their commands from the key table; a backup asks them first.
std::vector<TIdentityKey> IdentityKeys();

}  // namespace conf
