// A backup or restore of one module's parameters as a sequence of commands
// for the command channel (no Qt here). The caller queues NextCommand, and
// hands each result to TakeResult (or GiveUp when none came in time).
//
// Backup first asks the module who it is (device ID, software version: the
// keys that provide them), then reads every item of every page that has a
// read code.
//
// Restore first reads the module's value of each item the file has a value
// for, and then waits (AwaitingWrite) while the caller shows the plan: each
// item with the module's value and the file's, and the items of the pages
// that the file does not hold. StartWriting then writes the
// items that differ (every one with `writeAll`) and reads each back. The
// module's calibration is never opened: an item it refuses because the
// calibration is closed is reported with the hint to open it first.
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
    // How one item of a restore ended.
    enum class TOutcome { Open, Unchanged, Confirmed, ReadsOther, Refused, NotAnswered };

    struct TRestoreItem {
        backup::TItem item;  // page, number, text of the file's item
        std::int32_t wanted = 0;
        std::optional<std::int32_t> before;  // the module's value; none: refused or not answered
        std::string beforeText;              // why there is none
        bool written = false;
        TOutcome outcome = TOutcome::Open;
        std::int32_t readBack = 0;  // ReadsOther: what the module reads
        std::string refusal;        // Refused: the module's error text
        int errorCode = 0;          // Refused: the module's error code
        bool Differs() const { return !before || *before != wanted; }
    };

    static TBackupRun ForBackup(const std::vector<backup::TPageLayout>& layout,
                                const std::vector<TIdentityKey>& identity = {});
    // `partial`: the file is meant to hold only some items, so those it lacks
    // do not keep the restore from being complete.
    static TBackupRun ForRestore(const backup::TFile& file, const std::vector<backup::TPageLayout>& layout,
                                 bool writeAll = false, bool partial = false);

    // The command to send next; none when the run is done or awaits StartWriting.
    std::optional<TByteString> NextCommand() const;
    // The result of the command NextCommand gave: Stat and Value.
    void TakeResult(std::uint8_t stat, std::int32_t value);
    // No result came: a backup keeps the item as refused with "** NO RESULT **",
    // a restore counts it as not answered.
    void GiveUp();

    // Restore: the module's values are read and the writes wait for StartWriting.
    bool AwaitingWrite() const { return awaitingWrite_; }
    void StartWriting();

    bool Done() const { return !awaitingWrite_ && step_ >= steps_.size(); }
    std::size_t StepsDone() const { return step_; }
    std::size_t Steps() const { return steps_.size(); }
    // Backup: every item, read or refused.
    const std::vector<backup::TItem>& Items() const { return items_; }
    // Restore: every item the file has a value for.
    const std::vector<TRestoreItem>& RestoreItems() const { return restore_; }
    // Restore: items of the file that are not written (refused when the backup
    // was taken, or on a page that cannot be written), "Standard 2 Power-up zero (%)".
    const std::vector<std::string>& Skipped() const { return skipped_; }
    // Restore: items the backup holds no value for because the module did not
    // answer when it was taken; they keep the restore from being complete.
    const std::vector<std::string>& Missing() const { return missing_; }
    // Restore: the items of the pages that the file does not hold
    // (backup::AbsentItems); they stay as the module has them.
    const std::vector<std::string>& NotInFile() const { return notInFile_; }
    // Backup: "device ID 00231C49, software version 00000215", the answers
    // the module gave to the identity keys (one it refused is left out).
    const std::string& Identification() const { return identification_; }
    // Backup: items the module did not answer (kept as refused "** NO RESULT **").
    std::size_t Unanswered() const;
    // Backup: where the file goes: `path`, or "<path>.incomplete" when items
    // went unanswered and an older file at `path` would be replaced by a worse one.
    std::string BackupPath(const std::string& path) const;
    // True when every item was read (backup), or every item written was
    // written and read back equal and the file held every item (restore;
    // without `partial`).
    bool Complete() const;

    // Restore, for the user: one line per item with the module's and the
    // file's value; after the run the differences, refusals (those that
    // need Calibrate Enable together, with that hint) and unanswered items;
    // and the counts.
    std::vector<std::string> PlanLines() const;
    std::vector<std::string> ReportLines() const;
    std::string Summary() const;

private:
    enum class TKind { Identity, Read, Compare, Write, ReadBack };
    struct TStep {
        std::size_t item;  // index into items_, restore_ or identity_
        TByteString command;
        TKind kind;
    };
    void Answer(bool success, std::uint8_t stat, std::int32_t value, bool answered);

    std::vector<TStep> steps_;
    std::size_t step_ = 0;
    std::vector<backup::TItem> items_;
    std::vector<TRestoreItem> restore_;
    std::vector<std::string> skipped_;
    std::vector<std::string> missing_;
    std::vector<std::string> notInFile_;
    bool partial_ = false;
    std::vector<backup::TPageLayout> layout_;  // restore: the pages the writes go to
    bool writeAll_ = false;
    bool awaitingWrite_ = false;
    std::vector<TIdentityKey> identity_;
    std::string identification_;
};
