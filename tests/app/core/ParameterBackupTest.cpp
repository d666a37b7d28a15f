// The backup file: what is written reads back the same, and a damaged file
// or one from another page layout is refused naming its line.
#include "BackupRun.h"
#include "Hex.h"
#include "ParameterBackup.h"
#include "ResultText.h"

#include <gtest/gtest.h>

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
    const std::string text = backup::Write(Sample());
    const backup::TRead read = backup::Read(text, Layout);
    ASSERT_TRUE(read.file) << read.error;
    EXPECT_EQ(backup::Write(*read.file), text);
    EXPECT_EQ(read.file->header.identification, "WZ type 7") << "a tab in a field becomes a blank";
    EXPECT_EQ(read.file->items[1].refusal, "Parameter refused (error 5)");
    EXPECT_FALSE(read.file->items[1].value);
}

TEST(ParameterBackup, RefusesADamagedFileNamingTheLine)
{
    const std::string good = backup::Write(Sample());  // items start on line 8
    const std::string head = good.substr(0, good.find("Standard\t1"));
    const struct {
        std::string text;
        std::string error;
    } rows[] = {
        {"", "line 1: not a Quorvel parameter backup"},
        {"# Quorvel module parameter backup\nslave address: 127\n", "line 2: slave address '127' is not from 0 to 126"},
        {"# Quorvel module parameter backup\ncolour: red\n", "line 2: unknown header 'colour'"},
        {"# Quorvel module parameter backup\ndate: x\n", "line 2: the file ends before its items"},
        {head + "Standard\t1\tZero range (%)\t2147483648\n", "line 8: value '2147483648' is not a 32-bit integer"},
        {head + "Standard\t1\tZero range (%)\t12abc\n", "line 8: value '12abc' is not a 32-bit integer"},
        {head + "Standard\t3\tTare\t1\n", "line 8: item '3' is not from 1 to 2 of page Standard"},
        {head + "Filling\t1\tLevel\t1\n", "line 8: no page 'Filling' in the page layout in use"},
        {head + "Trigger\t1\tLimit\t1\n",
         "line 8: item 1 of Trigger is 'Level' here but 'Limit' in the file (another page layout)"},
        {head + "Trigger 1 Level 1\n", "line 8: expected page, item, text and value separated by tabs"},
    };
    for (const auto& row : rows) {
        const backup::TRead read = backup::Read(row.text, Layout);
        EXPECT_FALSE(read.file) << row.text;
        EXPECT_EQ(read.error, row.error) << row.text;
    }
}

// A module that keeps one value of its own: the restore writes and reads back
// each item, and reports the one that reads back different and the refusal.
TEST(ParameterBackup, RestoreWritesReadsBackAndReportsEveryDifference)
{
    std::vector<backup::TPageLayout> layout = Layout;
    layout[0].readCode = 0x12;
    layout[0].writeCode = 0x1F;
    layout[1].readCode = layout[1].writeCode = 0x26;
    backup::TFile file = Sample();
    file.items[1].value = 7;  // Standard 2 now has a value to write
    TBackupRun run = TBackupRun::ForRestore(file, layout);
    std::vector<std::string> sent;
    while (auto command = run.NextCommand()) {
        sent.push_back(HexDump(*command));
        const bool trigger = (*command)[0] == 0x26;
        if (trigger && ((*command)[1] & 0x80))
            run.TakeResult(0x45, 0);  // Trigger refuses the write
        else if ((*command)[0] == 0x12 && (*command)[1] == 2)
            run.TakeResult(0x01, 6);  // keeps 6, not 7
        else
            run.TakeResult(0x01, (*command)[0] == 0x12 ? -2147483647 - 1 : 0);
    }
    EXPECT_EQ(sent, (std::vector<std::string>{" 1F 01 00 00 00 80", " 12 01", " 1F 02 07 00 00 00", " 12 02",
                                              " 26 81 FF FF FF 7F"}));
    EXPECT_EQ(run.Differences(),
              (std::vector<std::string>{"Standard 2 Power-up zero (%): wrote 7, reads 6",
                                        "Trigger 1 Level: write refused " + resulttext::ErrorText(5)}));
    EXPECT_FALSE(run.Complete());

    // A backup asks the identity keys first; an unanswered one is left out of the header.
    TBackupRun backupRun = TBackupRun::ForBackup(layout, {{"device ID", {0x15}}, {"software version", {0x25}}});
    EXPECT_EQ(backupRun.NextCommand(), (TByteString{0x15}));
    backupRun.TakeResult(0x01, 0x231C49);
    while (backupRun.NextCommand()) backupRun.GiveUp();
    backupRun.GiveUp();  // one too many changes nothing
    EXPECT_EQ(backupRun.Identification(), "device ID 00231C49");
    EXPECT_EQ(backupRun.Items().size(), 3u);
    EXPECT_EQ(backupRun.Items()[2].refusal, "** NO RESULT **") << "a refused item is kept, not left out";
}
