// A backup or restore of one module's parameters as a sequence of commands
// for the command channel (no Qt here). The caller queues NextCommand, and
// hands each result to TakeResult (or GiveUp when none came in time).
//
// Backup reads every item of every page that has a read code. Restore writes
// each item of the file that has a value, reads it back, and lists every item
// whose read-back differs or that the module refused.
#pragma once

#include "ParameterBackup.h"
#include "base/ByteString.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TBackupRun {
public:
    static TBackupRun ForBackup(const std::vector<backup::TPageLayout>& layout);
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
    // True when every item was read (backup) or written and confirmed (restore).
    bool Complete() const { return Done() && differences_.empty() && refused_ == 0; }

private:
    struct TStep {
        std::size_t item;  // index into items_
        TByteString command;
        bool write;
    };
    void Refuse(const std::string& text);

    std::vector<TStep> steps_;
    std::size_t step_ = 0;
    std::vector<backup::TItem> items_;
    std::vector<std::int32_t> wanted_;  // restore: the file's values, by item
    std::vector<std::string> differences_;
    int refused_ = 0;
};
