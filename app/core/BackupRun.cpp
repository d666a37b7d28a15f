#include "BackupRun.h"

#include "HexText.h"
#include "ResultText.h"
#include "SheetCommands.h"

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

}  // namespace

TBackupRun TBackupRun::ForBackup(const std::vector<backup::TPageLayout>& layout,
                                 const std::vector<TIdentityKey>& identity)
{
    TBackupRun run;
    run.identity_ = identity;
    for (std::size_t i = 0; i < identity.size(); ++i) run.steps_.push_back({i, identity[i].command, false, true});
    for (const auto& page : layout) {
        if (page.readCode == 0) continue;
        for (std::size_t i = 0; i < page.items.size(); ++i) {
            const int number = static_cast<int>(i) + 1;
            run.steps_.push_back({run.items_.size(), ReadCommand(page, number), false});
            run.items_.push_back({page.caption, number, page.items[i], std::nullopt, {}});
        }
    }
    return run;
}

TBackupRun TBackupRun::ForRestore(const backup::TFile& file, const std::vector<backup::TPageLayout>& layout)
{
    TBackupRun run;
    for (const backup::TItem& item : file.items) {
        const backup::TPageLayout* page = FindPage(layout, item.page);
        if (!item.value || !page || page->writeCode == 0 || page->readCode == 0) continue;
        const std::size_t index = run.items_.size();
        run.steps_.push_back({index, WriteCommand(*page, item.number, *item.value), true});
        run.steps_.push_back({index, ReadCommand(*page, item.number), false});
        run.items_.push_back({item.page, item.number, item.text, std::nullopt, {}});
        run.wanted_.push_back(*item.value);
    }
    return run;
}

std::optional<TByteString> TBackupRun::NextCommand() const
{
    if (Done()) return std::nullopt;
    return steps_[step_].command;
}

void TBackupRun::TakeResult(std::uint8_t stat, std::int32_t value)
{
    if (Done()) return;
    if (steps_[step_].identity) {
        const TIdentityKey& key = identity_[steps_[step_++].item];
        if (!resulttext::IsSuccess(stat)) return;
        if (!identification_.empty()) identification_ += ", ";
        identification_ += key.name + " " + hextext::Value(value);  // as the result edit shows it
        return;
    }
    if (!resulttext::IsSuccess(stat)) {
        Refuse(resulttext::ErrorText(resulttext::ErrorCode(stat)));
        return;
    }
    const TStep& step = steps_[step_++];
    if (step.write) return;
    backup::TItem& item = items_[step.item];
    item.value = value;
    if (wanted_.empty()) return;
    const std::int32_t wanted = wanted_[step.item];
    if (value != wanted)
        differences_.push_back(Name(item) + ": wrote " + std::to_string(wanted) + ", reads " + std::to_string(value));
}

void TBackupRun::GiveUp()
{
    if (Done()) return;
    if (steps_[step_].identity)
        ++step_;  // an unanswered identity question is left out of the header
    else
        Refuse("** NO RESULT **");
}

// The item's step failed: it is refused, and a restore skips its read-back.
void TBackupRun::Refuse(const std::string& text)
{
    const TStep& step = steps_[step_++];
    backup::TItem& item = items_[step.item];
    item.refusal = text;
    ++refused_;
    if (wanted_.empty()) return;
    differences_.push_back(Name(item) + ": " + (step.write ? "write" : "read-back") + " refused " + text);
    if (step.write) ++step_;  // nothing written: nothing to read back
}
