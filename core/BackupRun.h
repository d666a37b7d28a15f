// A backup or restore of one module's parameters as a sequence of commands
// for the command channel (no Qt here). The caller queues NextCommand, and
// hands each result to TakeResult (or GiveUp when none came in time).
//
// Backup first asks the module who it is (device ID, software version: the
// keys that provide them), then reads every item of every page that has a
// read code. Restore writes each item of the file that has a value, reads it
// back, and lists every item whose read-back differs or that the module refused.
#pragma once

#include "ParameterBackup.h"
#include "base/ByteString.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A key whose answer identifies the module: "device ID" and its command.
struct TIdentityKey {
    std::string name;
    TByteString command;
};

class TBackupRun {
public:
    static TBackupRun ForBackup(const std::vector<backup::TPageLayout>& layout,
                                const std::vector<TIdentityKey>& identity = {});
    static TBackupRun ForRestore(const backup::TFile& file, const std::vector<backup::TPageLayout>& layout);

    // The command to send next; none when the run is done.
    std::optional<TByteString> NextCommand() const;
    // The result of the command NextCommand gave: Stat and Value.
    void TakeResult(std::uint8_t stat, std::int32_t value);
    // No result came: the item counts as refused with "** NO RESULT **".
    void GiveUp();

    bool Done() const { return step_ >= steps_.size(); }
    std::size_t StepsDone() const { return step_; }
    std::size_t Steps() const { return steps_.size(); }
    // Backup: every item, read or refused. Restore: the items as read back.
    const std::vector<backup::TItem>& Items() const { return items_; }
    // Restore: "Standard 2 Power-up zero (%): wrote 5, reads 4", one per
    // difference or refusal; empty when every item was written and confirmed.
    const std::vector<std::string>& Differences() const { return differences_; }
    // Backup: "device ID 00231C49, software version 00000215", the answers
    // the module gave to the identity keys (one it refused is left out).
    const std::string& Identification() const { return identification_; }
    // True when every item was read (backup) or written and confirmed (restore).
    bool Complete() const { return Done() && differences_.empty() && refused_ == 0; }

private:
    struct TStep {
        std::size_t item;  // index into items_, or into identity_ for an identity question
        TByteString command;
        bool write;
        bool identity = false;
    };
    void Refuse(const std::string& text);

    std::vector<TStep> steps_;
    std::size_t step_ = 0;
    std::vector<backup::TItem> items_;
    std::vector<std::int32_t> wanted_;  // restore: the file's values, by item
    std::vector<std::string> differences_;
    std::vector<TIdentityKey> identity_;
    std::string identification_;
    int refused_ = 0;
};
