// quorvel-cli's backup and restore of one module's parameters: the page
// layout from Quorvel.conf, and the session that runs a TBackupRun through
// the command channel of the cyclic data (no Qt here).
#pragma once

#include "core/BackupRun.h"
#include "core/CommandClient.h"
#include "core/ParameterBackup.h"
#include "base/ByteString.h"

#include <cstdint>
#include <string>
#include <vector>

class T_DPV0;

// The four pages as Quorvel.conf lays them out (found as the window finds
// it); empty with `error` set when no file is found. `said` gets the file
// read and each one skipped with the reason.
std::vector<backup::TPageLayout> LoadPageLayout(std::string& where, std::vector<std::string>& said, std::string& error);

class TBackupSession {
public:
    TBackupSession(T_DPV0& master, std::uint8_t unit, TBackupRun run);
    // A Data_Exchange response: takes the channel's reply, sends the next command.
    void Received(const TByteString& telegram);
    // Every clock tick: gives up a command whose result has not come in time,
    // by the window's rule (TResultWait).
    void Tick();
    // A restore whose comparison is done goes on to write.
    void StartWriting() { run_.StartWriting(); }
    bool Done() const { return run_.Done(); }
    const TBackupRun& Run() const { return run_; }

private:
    std::uint8_t unit_;
    TBackupRun run_;
    TOwnChannelClient client_;
};
