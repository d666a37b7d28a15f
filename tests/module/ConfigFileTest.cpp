// The rules of "Quorvel.conf": headers, item lists, item names, numbering,
// and finding and decoding the file.
#include "ConfigFile.h"
#include "SheetLayout.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using conf::TLines;

namespace {

TEST(ConfigLines, SplitAtAnyLineBreak)
{
    EXPECT_EQ(conf::SplitLines("a\r\nb\nc\rd"), (TLines{"a", "b", "c", "d"}));
    EXPECT_EQ(conf::SplitLines("a\n\nb\n"), (TLines{"a", "", "b"}));
    EXPECT_EQ(conf::SplitLines("a\r\n\r\n"), (TLines{"a", ""}));
    EXPECT_EQ(conf::SplitLines("\n\r"), (TLines{"", ""}));
    EXPECT_TRUE(conf::SplitLines("").empty());
}

TEST(ConfigHeaders, WholeLineIgnoringCaseOnAnyLineFirstOneCounts)
{
    const TLines lines{"sheet Trigger",  "x", "SHEET standard", "sheet Standard", "sheet Standard ", "sheet  Filling",
                       "Sheet Mass Flow"};
    EXPECT_EQ(conf::FindHeader(lines, "Trigger"), 0);  // line 0 is a header like any other
    EXPECT_EQ(conf::FindHeader(lines, "Standard"), 2);
    EXPECT_EQ(conf::FindHeader(lines, "Filling"), -1);  // two blanks
    EXPECT_EQ(conf::FindHeader(lines, "Mass flow"), 6);
    EXPECT_EQ(conf::FindHeader({}, "Standard"), -1);
}

TEST(ConfigItems, ListRunsWhileLinesContainItemCaseSensitive)
{
    const TLines lines{"sheet Standard", "item 'a'", "  item 'b'", "xitemx", "Item 'c'", "item 'd'"};
    EXPECT_EQ(conf::CountItems(lines, 0), 3);
    EXPECT_EQ(conf::CountItems(lines, 4), 1);  // the list may run to the end of the file
    EXPECT_EQ(conf::CountItems(lines, 5), 0);
}

TEST(ConfigItems, NameIsCharacters7To63UpToTheQuote)
{
    EXPECT_EQ(conf::ItemText("item 'Filter value'"), "Filter value");
    EXPECT_EQ(conf::ItemText("  item 'X'"), " ");  // the first six characters are skipped unread
    EXPECT_EQ(conf::ItemText("item 'no quote"), "no quote");
    EXPECT_EQ(conf::ItemText("item"), "");
    EXPECT_EQ(conf::ItemText("item ''"), "");
    const std::string longName(80, 'n');
    EXPECT_EQ(conf::ItemText("item '" + longName), std::string(57, 'n'));
    // Characters, not bytes: a name of umlauts is cut after 57 of them.
    std::string umlauts;
    for (int i = 0; i < 60; ++i) umlauts += "\xC3\xBC";
    EXPECT_EQ(conf::ItemText("item '" + umlauts), umlauts.substr(0, 57 * 2));
    EXPECT_EQ(conf::ItemText("it\xC3\xA9m '\xC3\xA9t\xC3\xA9'"), "\xC3\xA9t\xC3\xA9");
}

TEST(ConfigItems, RowCaptionsHaveTwoDigitsAndTwoBlanks)
{
    EXPECT_EQ(conf::RowCaption(1, "Zero range"), "01  Zero range");
    EXPECT_EQ(conf::RowCaption(9, "a"), "09  a");
    EXPECT_EQ(conf::RowCaption(10, "b"), "10  b");
    EXPECT_EQ(conf::RowCaption(32, ""), "32  ");
}

TEST(ConfigPages, PrefixByExactCaption)
{
    EXPECT_EQ(conf::PagePrefix("Standard"), 0x1F);
    EXPECT_EQ(conf::PagePrefix("Trigger"), 0x26);
    EXPECT_EQ(conf::PagePrefix("Filling"), 0x06);
    EXPECT_EQ(conf::PagePrefix("Mass flow"), 0x2A);
    EXPECT_FALSE(conf::PagePrefix("standard"));
    EXPECT_FALSE(conf::PagePrefix("Other"));
}

TEST(ConfigPages, PlansSkipPagesWithoutHeaderOrItemsAndCutAt32)
{
    TLines lines{"Parameters", "sheet Trigger", "item 'a'", "item 'b'",
                 "end",        "sheet Filling", "end",      "sheet Mass flow"};
    for (int i = 0; i < 40; ++i) lines.push_back("item 'm'");
    const auto plans = conf::PlanSheets(lines, {"Standard", "Trigger", "Filling", "Mass flow"});
    ASSERT_EQ(plans.size(), 2u);
    EXPECT_EQ(plans[0].Page, 1);
    EXPECT_EQ(plans[0].Header, 1);
    EXPECT_EQ(plans[0].ItemCount, 2);
    EXPECT_EQ(plans[1].Page, 3);
    EXPECT_EQ(plans[1].ItemCount, 32);
    EXPECT_EQ(plans[1].ListedItems, 40);

    // Only the first eight pages can have a sheet.
    const std::vector<std::string> nine(9, "Trigger");
    EXPECT_EQ(conf::PlanSheets(lines, nine).size(), 8u);
}

TEST(SheetGeometry, RowHeightIsClampedTo15To21)
{
    EXPECT_EQ(conf::SheetRowHeight(477, 5), 21);   // 84
    EXPECT_EQ(conf::SheetRowHeight(477, 30), 15);  // 14
    EXPECT_EQ(conf::SheetRowHeight(477, 24), 17);
    EXPECT_EQ(conf::SheetRowHeight(477, 20), 21);
    EXPECT_EQ(conf::SheetRowHeight(40, 3), 21);  // negative counts as too large
    EXPECT_EQ(conf::SheetColumnWidth(321), 152);
    EXPECT_EQ(conf::SheetColumnWidth(10), 0);
}

class ConfigLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorvel-conf-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& content)
    {
        const fs::path path = dir / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    fs::path dir;
};

TEST(ConfigLookup, CurrentFolderThenProgramFolderThenInstalledCopyEachOnce)
{
    const std::string installed = "/usr/share/quorvel/Quorvel.conf";
    struct TRow {
        std::string current, program, installed;
        std::vector<std::string> expected;
    } rows[] = {
        {"/home/u", "/opt/q/bin", installed, {"/home/u/Quorvel.conf", "/opt/q/bin/Quorvel.conf", installed}},
        {"/usr/bin", "/usr/bin/", installed, {"/usr/bin/Quorvel.conf", installed}},
        {"/usr/share/quorvel", "/usr/bin", installed, {installed, "/usr/bin/Quorvel.conf"}},
        {"/home/u", "/home/u/../u", "", {"/home/u/Quorvel.conf"}},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(conf::ConfigCandidates(row.current, row.program, row.installed), row.expected) << row.current;
}

TEST_F(ConfigLoad, FirstExistingCandidateIsReadAndNamed)
{
    const std::string missing = (dir / "here" / "Quorvel.conf").string();
    const std::string beside = Write("bin/Quorvel.conf", "sheet Standard\nitem 'a'\n");
    const auto load = conf::LoadFirstConfig({missing, beside});
    EXPECT_EQ(load.Path, beside);
    EXPECT_EQ(load.Lines, (TLines{"sheet Standard", "item 'a'"}));
    ASSERT_EQ(load.Messages.size(), 1u);
    EXPECT_NE(load.Messages[0].find(beside), std::string::npos);
}

TEST_F(ConfigLoad, NoFileAnywhereSaysWhereItLooked)
{
    const std::string a = (dir / "a" / "Quorvel.conf").string();
    const std::string b = (dir / "b" / "Quorvel.conf").string();
    const auto load = conf::LoadFirstConfig({a, b});
    EXPECT_TRUE(load.Path.empty());
    EXPECT_TRUE(load.Lines.empty());
    ASSERT_EQ(load.Messages.size(), 1u);
    EXPECT_NE(load.Messages[0].find("not found"), std::string::npos);
    EXPECT_NE(load.Messages[0].find(a), std::string::npos);
    EXPECT_NE(load.Messages[0].find(b), std::string::npos);
}

TEST_F(ConfigLoad, UnusableCandidatesAreReportedAndSkipped)
{
    fs::create_directories(dir / "folder" / "Quorvel.conf");
    const std::string tooLarge = Write("big/Quorvel.conf", std::string(conf::MaxFileSize + 1, 'x'));
    const std::string good = Write("good/Quorvel.conf", "end");
    const auto load = conf::LoadFirstConfig({(dir / "folder" / "Quorvel.conf").string(), tooLarge, good});
    EXPECT_EQ(load.Path, good);
    ASSERT_EQ(load.Messages.size(), 3u);
    EXPECT_NE(load.Messages[0].find("not a regular file"), std::string::npos);
    EXPECT_NE(load.Messages[1].find("1 MiB"), std::string::npos);

    if (geteuid() != 0) {  // root reads anything
        const std::string locked = Write("locked/Quorvel.conf", "end");
        fs::permissions(locked, fs::perms::none);
        const auto refused = conf::LoadFirstConfig({locked});
        EXPECT_NE(refused.Messages.at(0).find("Cannot read"), std::string::npos);
    }
}

TEST_F(ConfigLoad, ByteOrderMarkIsDroppedAndLatin1BecomesUtf8)
{
    const auto bom = conf::LoadFirstConfig({Write("a.conf", "\xEF\xBB\xBFsheet Standard\r\nitem 'x'")});
    EXPECT_EQ(conf::FindHeader(bom.Lines, "Standard"), 0);
    const auto latin1 = conf::LoadFirstConfig({Write("b.conf", "item 'F\xFCllgewicht'")});
    EXPECT_EQ(conf::ItemText(latin1.Lines.at(0)), "F\xC3\xBCllgewicht");
}

}  // namespace
