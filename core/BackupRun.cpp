#include "BackupRun.h"

#include "HexText.h"
#include "ResultText.h"
#include "SheetCommands.h"

#include <algorithm>
#include <filesystem>

namespace {

const backup::TPageLayout* FindPage(const std::vector<backup::TPageLayout>& layout, const std::string& caption)
{
    for (const auto& page : layout)
        if (page.caption == caption) return &page;
    return nullptr;
}

TByteString ReadCommand(const backup::TPageLayout& page, int number)
{
    return TByteString{page.readCode, static_cast<std::uint8_t>(number)};
}

TByteString WriteCommand(const backup::TPageLayout& page, int number, std::int32_t value)
{
    auto index = static_cast<std::uint8_t>(number);
    if (sheetcmd::WritesWithIndexBit(page.writeCode)) index |= sheetcmd::WriteBit;
    const auto v = static_cast<std::uint32_t>(value);  // least significant byte first
    return TByteString{page.writeCode,
                       index,
                       static_cast<std::uint8_t>(v),
                       static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16),
                       static_cast<std::uint8_t>(v >> 24)};
}

std::string Name(const backup::TItem& item) { return item.page + " " + std::to_string(item.number) + " " + item.text; }

constexpr int CalNotOpen = 4;  // the module's error code for a closed calibration
constexpr const char* NoResult = "** NO RESULT **";

}  // namespace

TBackupRun TBackupRun::ForBackup(const std::vector<backup::TPageLayout>& layout,
                                 const std::vector<TIdentityKey>& identity)
{
    TBackupRun run;
    run.identity_ = identity;
    for (std::size_t i = 0; i < identity.size(); ++i) run.steps_.push_back({i, identity[i].command, TKind::Identity});
    for (const auto& page : layout) {
        if (page.readCode == 0) continue;
        for (std::size_t i = 0; i < page.items.size(); ++i) {
            const int number = static_cast<int>(i) + 1;
            run.steps_.push_back({run.items_.size(), ReadCommand(page, number), TKind::Read});
            run.items_.push_back({page.caption, number, page.items[i], std::nullopt, {}});
        }
    }
    return run;
}

TBackupRun TBackupRun::ForRestore(const backup::TFile& file, const std::vector<backup::TPageLayout>& layout,
                                  bool writeAll, bool partial)
{
    TBackupRun run;
    run.layout_ = layout;
    run.writeAll_ = writeAll;
    run.partial_ = partial;
    run.notInFile_ = backup::AbsentItems(file, layout);
    for (const backup::TItem& item : file.items) {
        const backup::TPageLayout* page = FindPage(layout, item.page);
        if (!item.value || !page || page->writeCode == 0 || page->readCode == 0) {
            (!item.value && item.refusal == NoResult ? run.missing_ : run.skipped_).push_back(Name(item));
            continue;
        }
        run.steps_.push_back({run.restore_.size(), ReadCommand(*page, item.number), TKind::Compare});
        TRestoreItem entry;
        entry.item = {item.page, item.number, item.text, std::nullopt, {}};
        entry.wanted = *item.value;
        run.restore_.push_back(std::move(entry));
    }
    run.awaitingWrite_ = true;
    return run;
}

std::optional<TByteString> TBackupRun::NextCommand() const
{
    if (awaitingWrite_ ? step_ >= steps_.size() : Done()) return std::nullopt;
    return steps_[step_].command;
}

void TBackupRun::StartWriting()
{
    if (!awaitingWrite_ || step_ < steps_.size()) return;
    awaitingWrite_ = false;
    for (std::size_t i = 0; i < restore_.size(); ++i) {
        TRestoreItem& entry = restore_[i];
        if (!writeAll_ && !entry.Differs()) {
            entry.outcome = TOutcome::Unchanged;
            continue;
        }
        const backup::TPageLayout& page = *FindPage(layout_, entry.item.page);
        entry.written = true;
        steps_.push_back({i, WriteCommand(page, entry.item.number, entry.wanted), TKind::Write});
        steps_.push_back({i, ReadCommand(page, entry.item.number), TKind::ReadBack});
    }
}

void TBackupRun::TakeResult(std::uint8_t stat, std::int32_t value)
{
    if (NextCommand()) Answer(resulttext::IsSuccess(stat), stat, value, true);
}

void TBackupRun::GiveUp()
{
    if (NextCommand()) Answer(false, 0, 0, false);
}

void TBackupRun::Answer(bool success, std::uint8_t stat, std::int32_t value, bool answered)
{
    const TStep& step = steps_[step_++];
    const std::string refusal = answered ? resulttext::ErrorText(resulttext::ErrorCode(stat)) : std::string(NoResult);
    switch (step.kind) {
    case TKind::Identity:
        // A refused or unanswered identity question is left out of the header.
        if (!success) return;
        if (!identification_.empty()) identification_ += ", ";
        identification_ += identity_[step.item].name + " " + hextext::Value(value);  // as the result edit shows it
        return;
    case TKind::Read:
        if (success)
            items_[step.item].value = value;
        else
            items_[step.item].refusal = refusal;
        return;
    case TKind::Compare:
        if (success)
            restore_[step.item].before = value;
        else
            restore_[step.item].beforeText = answered ? "refused " + refusal : "not answered";
        return;
    case TKind::Write:
    case TKind::ReadBack: {
        TRestoreItem& entry = restore_[step.item];
        if (!success) {
            entry.outcome = answered ? TOutcome::Refused : TOutcome::NotAnswered;
            const std::string what = step.kind == TKind::Write ? "write" : "read-back";
            entry.refusal = answered ? what + " refused " + refusal : "the " + what + " was not answered";
            entry.errorCode = answered ? resulttext::ErrorCode(stat) : 0;
            if (step.kind == TKind::Write) ++step_;  // nothing written: nothing to read back
        } else if (step.kind == TKind::ReadBack) {
            entry.outcome = value == entry.wanted ? TOutcome::Confirmed : TOutcome::ReadsOther;
            entry.readBack = value;
        }
        return;
    }
    }
}

std::size_t TBackupRun::Unanswered() const
{
    return static_cast<std::size_t>(std::count_if(items_.begin(), items_.end(),
                                                  [](const backup::TItem& item) { return item.refusal == NoResult; }));
}

std::string TBackupRun::BackupPath(const std::string& path) const
{
    std::error_code ec;
    return Unanswered() > 0 && std::filesystem::exists(std::filesystem::symlink_status(path, ec)) ? path + ".incomplete"
                                                                                                  : path;
}

bool TBackupRun::Complete() const
{
    if (!Done() || !missing_.empty() || (!partial_ && !notInFile_.empty())) return false;
    for (const backup::TItem& item : items_)
        if (!item.refusal.empty()) return false;
    for (const TRestoreItem& entry : restore_)
        if (entry.outcome != TOutcome::Unchanged && entry.outcome != TOutcome::Confirmed) return false;
    return true;
}

std::vector<std::string> TBackupRun::PlanLines() const
{
    std::vector<std::string> lines;
    for (const TRestoreItem& entry : restore_) {
        const std::string module = entry.before ? std::to_string(*entry.before) : entry.beforeText;
        const bool writes = writeAll_ || entry.Differs();
        lines.push_back(Name(entry.item) + ": module " + module + ", file " + std::to_string(entry.wanted) + ", " +
                        (entry.Differs() ? "different" : "same") + (writes ? ": writes" : ""));
    }
    for (const std::string& name : skipped_) lines.push_back(name + ": skipped (refused in the backup)");
    for (const std::string& name : missing_) lines.push_back(name + ": no value in the backup (not answered)");
    for (const std::string& name : notInFile_) lines.push_back(name + ": not in the file");
    return lines;
}

std::vector<std::string> TBackupRun::ReportLines() const
{
    std::vector<std::string> lines, calibration;
    for (const TRestoreItem& entry : restore_) {
        const std::string name = Name(entry.item);
        switch (entry.outcome) {
        case TOutcome::ReadsOther:
            lines.push_back(name + ": wrote " + std::to_string(entry.wanted) + ", reads " +
                            std::to_string(entry.readBack));
            break;
        case TOutcome::Refused:
            if (entry.errorCode == CalNotOpen)
                calibration.push_back(name);
            else
                lines.push_back(name + ": " + entry.refusal);
            break;
        case TOutcome::NotAnswered: lines.push_back(name + ": " + entry.refusal); break;
        case TOutcome::Open:
            if (entry.written) lines.push_back(name + ": not reached");
            break;
        default: break;
        }
    }
    for (const std::string& name : missing_)
        lines.push_back(name + ": not restored, the module did not answer when the backup was taken");
    for (const std::string& name : notInFile_) lines.push_back(name + ": not restored, not in the file");
    if (!calibration.empty()) {
        std::string names;
        for (const std::string& name : calibration) names += (names.empty() ? "" : ", ") + name;
        lines.push_back("refused " + resulttext::ErrorText(CalNotOpen) + ", the calibration is closed: " + names +
                        ". These need Calibrate Enable (CE) first; then restore again.");
    }
    return lines;
}

std::string TBackupRun::Summary() const
{
    int counts[6] = {};
    for (const TRestoreItem& entry : restore_) ++counts[static_cast<int>(entry.outcome)];
    auto count = [&counts](TOutcome outcome) { return std::to_string(counts[static_cast<int>(outcome)]); };
    std::string text = count(TOutcome::Unchanged) + " unchanged, " + count(TOutcome::Confirmed) +
                       " written and confirmed, " + count(TOutcome::Refused) + " refused, " +
                       count(TOutcome::NotAnswered) + " not answered";
    if (counts[static_cast<int>(TOutcome::ReadsOther)] > 0)
        text += ", " + count(TOutcome::ReadsOther) + " read back different";
    if (!skipped_.empty()) text += ", " + std::to_string(skipped_.size()) + " skipped";
    if (!missing_.empty()) text += ", " + std::to_string(missing_.size()) + " without a value in the backup";
    if (!notInFile_.empty()) text += ", " + std::to_string(notInFile_.size()) + " not in the file";
    return text;
}
