// Every item of the shipped Quorvel.conf is a parameter the simulated module
// has: a read answers, writing the value read back is taken, a later read
// confirms it, and the number after the last item is refused.
#include "ModuleTestSupport.h"

#include <fstream>
#include <map>

using namespace sim;
using namespace simtest;

namespace {

// Item counts per page as the file lists them (header, then item lines).
std::map<std::string, int> ItemsPerPage()
{
    std::ifstream file(QUORVEL_CONF_FILE);
    std::map<std::string, int> counts;
    std::string line, page;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("sheet ", 0) == 0) {
            page = line.substr(6);
            counts[page] = 0;
        } else if (!page.empty() && line.find("item") != std::string::npos) {
            ++counts[page];
        } else {
            page.clear();
        }
    }
    return counts;
}

struct TPage {
    const char* caption;
    std::uint8_t read;
    std::uint8_t write;
    std::uint8_t writeBit;
    TModuleError badId;
};

}  // namespace

TEST(ConfItems, EveryItemOfEveryPageReadsWritesAndReadsBack)
{
    const auto counts = ItemsPerPage();
    ASSERT_EQ(counts.size(), 4u) << "pages in " << QUORVEL_CONF_FILE;
    const TPage pages[] = {
        {"Standard", 0x12, 0x1F, 0x00, errBadGenValueId},
        {"Trigger", 0x26, 0x26, 0x80, errBadTrigParamId},
        {"Filling", 0x06, 0x06, 0x80, errBadFillParamId},
        {"Mass flow", 0x2A, 0x2A, 0x80, errBadFlowValueId},
    };
    TModuleUnderTest m;
    m.Cmd(0x04, calib::Enable, 1);  // zero tracking is calibration data
    for (const TPage& page : pages) {
        ASSERT_TRUE(counts.count(page.caption)) << page.caption;
        const int items = counts.at(page.caption);
        for (int n = 1; n <= items; ++n) {
            const auto item = static_cast<std::uint8_t>(n);
            const std::int32_t value = m.Read(page.read, item);
            EXPECT_EQ(m.Stat(page.write, item | page.writeBit, value), StatDone) << page.caption << " " << n;
            EXPECT_EQ(m.Read(page.read, item), value) << page.caption << " " << n;
        }
        const auto past = static_cast<std::uint8_t>(items + 1);
        EXPECT_EQ(m.Stat(page.read, past), StatError | page.badId) << page.caption;
        EXPECT_EQ(m.Stat(page.write, past | page.writeBit, 0), StatError | page.badId) << page.caption;
    }
}

TEST(ConfItems, WritesOfTheExamplesAreConfirmedAndOutOfRangeValuesRefused)
{
    TModuleUnderTest m;
    // Set with 100 on item 2 of Filling and of Standard.
    EXPECT_EQ(m.Cmd(0x06, 0x82, 100).value, 100);
    EXPECT_EQ(m.Read(0x06, 0x02), 100);
    EXPECT_EQ(m.Cmd(0x1F, 0x02, 100).value, 100);
    EXPECT_EQ(m.Read(0x12, 0x02), 100);
    EXPECT_EQ(m.Stat(0x1F, standard::FilterMode, 2), StatError | errBadGenParamValue);
    EXPECT_EQ(m.Stat(0x1F, standard::UpdateRate, 7), StatError | errBadGenParamValue);
    EXPECT_EQ(m.Stat(0x06, 0x80 | filling::CutOffCorrection, 2), StatError | errBadFillParamValue);
    EXPECT_EQ(m.Stat(0x2A, 0x80 | massflow::Tolerance, 101), StatError | errBadFlowParamValue);
    EXPECT_EQ(m.Stat(0x26, 0x80 | trigger::RetrigStop, -1), StatError | errBadTrigParamValue);
    EXPECT_EQ(m.Read(0x12, standard::FilterMode), 0);  // refused writes change nothing
}
