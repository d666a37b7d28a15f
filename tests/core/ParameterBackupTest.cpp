// The backup file: what is written reads back the same; a damaged, cut or
// altered file, or one from another page layout, is refused naming its line;
// a restore compares first and writes only what differs.
#include "core/BackupRun.h"
#include "core/ParameterBackup.h"
#include "core/ResultText.h"
#include "tests/support/Hex.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::vector<backup::TPageLayout> Layout{{"Standard", {"Zero range (%)", "Power-up zero (%)"}},
                                              {"Trigger", {"Level"}}};

backup::TFile Sample()
{
    backup::TFile file;
    file.header = {"2026-12-09 10:55:00", "Quorvel 1.0", 3, 2, "WZ\ttype 7"};
    file.items = {{"Standard", 1, "Zero range (%)", -2147483647 - 1, ""},
                  {"Standard", 2, "Power-up zero (%)", std::nullopt, "Parameter refused (error 5)"},
                  {"Trigger", 1, "Level", 2147483647, ""}};
    return file;
}

}  // namespace

TEST(ParameterBackup, WhatIsWrittenReadsBackTheSame)
{
    const std::string text = backup::Write(Sample(), "\n");
    const backup::TRead read = backup::Read(text, Layout);
    ASSERT_TRUE(read.file) << read.error;
    EXPECT_FALSE(read.unchecked);
    EXPECT_EQ(backup::Write(*read.file, "\n"), text);
    EXPECT_EQ(backup::Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(read.file->header.identification, "WZ type 7") << "a tab in a field becomes a blank";
    EXPECT_EQ(read.file->items[1].refusal, "Parameter refused (error 5)");
    EXPECT_FALSE(read.file->items[1].value);
    // Carried through an editor of the other system: CR LF line ends, a byte
    // order mark; the check sum is over the text with LF line ends.
    const std::string crlf = backup::Write(Sample(), "\r\n");
    for (const std::string& carried : {crlf, "\xEF\xBB\xBF" + crlf, "\xEF\xBB\xBF" + text}) {
        const backup::TRead again = backup::Read(carried, Layout);
        ASSERT_TRUE(again.file) << again.error;
        EXPECT_EQ(backup::Write(*again.file, "\n"), text);
    }

    // A file of the first format (no format line, no end line) reads, marked unchecked.
    std::string old = text.substr(0, text.rfind("# end:"));
    old.erase(old.find("format: 2\n"), 10);
    const backup::TRead first = backup::Read(old, Layout);
    ASSERT_TRUE(first.file) << first.error;
    EXPECT_TRUE(first.unchecked);
}

TEST(ParameterBackup, RefusesADamagedFileNamingTheLine)
{
    const std::string good = backup::Write(Sample(), "\n");  // items start on line 9
    const std::string head = good.substr(0, good.find("Standard\t1"));
    const std::string first = head + "Standard\t1\tZero range (%)\t1\n";
    const std::string longValue(5000, '7');
    const struct {
        std::string text;
        std::string error;
    } rows[] = {
        {"", "line 1: not a Quorvel parameter backup"},
        {"# Quorvel module parameter backup\nslave address: 127\n", "line 2: slave address '127' is not from 0 to 126"},
        {"# Quorvel module parameter backup\ncolour: red\n", "line 2: unknown header 'colour'"},
        {"# Quorvel module parameter backup\ndate: x\n", "line 2: the file ends before its items"},
        {head + "Standard\t1\tZero range (%)\t2147483648\n", "line 9: value '2147483648' is not a 32-bit integer"},
        {head + "Standard\t1\tZero range (%)\t12abc\n", "line 9: value '12abc' is not a 32-bit integer"},
        {head + "Standard\t3\tTare\t1\n", "line 9: item '3' is not from 1 to 2 of page Standard"},
        {head + "Filling\t1\tLevel\t1\n", "line 9: no page 'Filling' in the page layout in use"},
        {head + "Trigger\t1\tLimit\t1\n",
         "line 9: item 1 of Trigger is 'Level' here but 'Limit' in the file (another page layout)"},
        {head + "Trigger 1 Level 1\n", "line 9: expected page, item, text and value separated by tabs"},
        {first + "Standard\t1\tZero range (%)\t2\n", "line 10: Standard 1 is named a second time (first on line 9)"},
        {first, "line 9: the file ends without its end line: it was cut short"},
        {first + "# end: 2 items, CRC-32 00000000\n",
         "line 10: the end line counts other items than the file holds (1): items were cut out or added"},
        {first + "# end: 1 items, CRC-32 00000000\n",
         "line 10: the check sum does not match: the file was altered or damaged"},
        {good + "\n", "line 12: text follows the end line"},
        {head + "Standard\t1\tZero range (%)\t1\r\r\n", "line 9: value '1\r' is not a 32-bit integer"},
        {head + "Standard\t1\tZero range (%)\t" + longValue.substr(0, 50) + "\n",
         "line 9: value '" + longValue.substr(0, 40) + "...' is not a 32-bit integer"},
        {head + "Standard\t1\tZero range (%)\t" + longValue + "\n", "line 9: longer than 4096 bytes"},
        {"# Quorvel module parameter backup\nformat: 3\n", "line 2: format '3' is not one this program reads"},
        {std::string(backup::MaxFileSize + 1, '#'), "larger than 1 MiB: no parameter backup is that long"},
    };
    for (const auto& row : rows) {
        const backup::TRead read = backup::Read(row.text, Layout);
        EXPECT_FALSE(read.file) << row.text;
        EXPECT_EQ(read.error, row.error) << row.text;
    }
}

// A module with one value the file already holds, one it keeps whatever is
// written, and one behind its closed calibration: the restore reads all
// first, writes only what differs and reports each kind of end apart.
TEST(ParameterBackup, RestoreComparesFirstAndWritesOnlyWhatDiffers)
{
    std::vector<backup::TPageLayout> layout{{"Standard", {"A", "B", "C"}, 0x12, 0x1F}, {"Trigger", {"L"}, 0x26, 0x26}};
    backup::TFile file;
    file.items = {{"Standard", 1, "A", -2147483647 - 1, ""},
                  {"Standard", 2, "B", 7, ""},
                  {"Standard", 3, "C", 1, ""},
                  {"Trigger", 1, "L", 5, ""},
                  {"Trigger", 1, "L", std::nullopt, "x"}};
    const auto restore = [&](std::map<int, std::int32_t> module, bool writeAll) {
        TBackupRun run = TBackupRun::ForRestore(file, layout, writeAll);
        std::vector<std::string> sent;
        for (auto command = run.NextCommand(); !run.Done(); command = run.NextCommand()) {
            if (!command) run.StartWriting();
            if (!command) continue;
            sent.push_back(HexDump(*command));
            const TByteString& c = *command;
            const int key = c[0] == 0x26 ? 0x100 | (c[1] & 0x7F) : c[1];  // B (2) keeps its value
            if (c.size() > 2 && key != 2) module[key] = c[2] | c[3] << 8 | c[4] << 16 | c[5] << 24;
            run.TakeResult(c.size() > 2 && key == 3 ? 0x44 : 0x01, module[key]);  // C: CAL_NOT_OPEN
        }
        return std::make_pair(std::move(run), sent);
    };
    auto [run, sent] = restore({{1, 0}, {2, 6}, {3, 0}, {0x101, 5}}, false);
    EXPECT_EQ(sent, (std::vector<std::string>{" 12 01", " 12 02", " 12 03", " 26 01", " 1F 01 00 00 00 80", " 12 01",
                                              " 1F 02 07 00 00 00", " 12 02", " 1F 03 01 00 00 00"}));
    EXPECT_EQ(run.PlanLines()[0], "Standard 1 A: module 0, file -2147483648, different: writes");
    EXPECT_EQ(run.PlanLines()[3], "Trigger 1 L: module 5, file 5, same");
    EXPECT_EQ(run.PlanLines()[4], "Trigger 1 L: skipped (refused in the backup)");
    EXPECT_EQ(run.ReportLines(),
              (std::vector<std::string>{"Standard 2 B: wrote 7, reads 6",
                                        "refused ** CAL_NOT_OPEN **, the calibration is closed: Standard 3 C. These "
                                        "need Calibrate Enable (CE) first; then restore again."}));
    EXPECT_EQ(run.Summary(),
              "1 unchanged, 1 written and confirmed, 1 refused, 0 not answered, 1 read back different, 1 skipped");
    EXPECT_FALSE(run.Complete());

    // The module already holds the file: nothing is written; --all writes each item.
    const std::map<int, std::int32_t> same{{1, -2147483647 - 1}, {2, 7}, {3, 1}, {0x101, 5}};
    EXPECT_EQ(restore(same, false).second.size(), 4u);
    EXPECT_TRUE(restore(same, false).first.Complete());
    file.items.push_back({"Standard", 2, "B", std::nullopt, "** NO RESULT **"});  // not answered at the backup
    EXPECT_FALSE(restore(same, false).first.Complete()) << "an item the backup never got is no success";
    EXPECT_EQ(restore(same, true).second.size(), 4u + 2 + 2 + 1 + 2);

    // A backup asks the identity keys first; an unanswered one is left out of the header.
    TBackupRun backupRun = TBackupRun::ForBackup(layout, {{"device ID", {0x15}}, {"software version", {0x25}}});
    EXPECT_EQ(backupRun.NextCommand(), (TByteString{0x15}));
    backupRun.TakeResult(0x01, 0x231C49);
    while (backupRun.NextCommand()) backupRun.GiveUp();
    backupRun.GiveUp();  // one too many changes nothing
    EXPECT_EQ(backupRun.Identification(), "device ID 00231C49");
    EXPECT_EQ(backupRun.Items().size(), 4u);
    EXPECT_EQ(backupRun.Items()[2].refusal, "** NO RESULT **") << "a refused item is kept, not left out";
    TempFolder folder;
    folder.Write("old.txt", "an older backup");
    EXPECT_EQ(backupRun.BackupPath(folder.str() + "/old.txt"), folder.str() + "/old.txt.incomplete") << "not replaced";
}

// A file that lacks items of the pages (one cut out with the end line
// recomputed, or a partial file): each is named and counted, and the restore
// is incomplete unless a partial file is meant. A page without a read code is
// never in a backup.
TEST(ParameterBackup, RestoreNamesTheItemsTheFileLacks)
{
    const std::vector<backup::TPageLayout> layout{
        {"Standard", {"A", "B"}, 0x12, 0x1F}, {"Trigger", {"L"}, 0x26, 0x26}, {"Filling", {"F"}, 0, 0}};
    backup::TFile file;
    file.items = {{"Standard", 1, "A", 1, ""}};
    for (const bool partial : {false, true}) {
        TBackupRun run = TBackupRun::ForRestore(file, layout, false, partial);
        run.TakeResult(0x01, 1);
        run.StartWriting();
        ASSERT_TRUE(run.Done());
        EXPECT_EQ(run.NotInFile(), (std::vector<std::string>{"Standard 2 B", "Trigger 1 L"}));
        EXPECT_EQ(run.PlanLines().back(), "Trigger 1 L: not in the file");
        EXPECT_EQ(run.ReportLines().back(), "Trigger 1 L: not restored, not in the file");
        EXPECT_EQ(run.Summary(), "1 unchanged, 0 written and confirmed, 0 refused, 0 not answered, 2 not in the file");
        EXPECT_EQ(run.Complete(), partial);
    }
}
