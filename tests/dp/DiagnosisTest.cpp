// The decoded diagnosis, the module count a configuration stands for, and
// how answers are cut from received bytes.
#include "tests/support/Hex.h"
#include "dp/Diagnosis.h"
#include "dp/StationReply.h"

#include <gtest/gtest.h>

TEST(Diagnosis, DecodesStatusBytesMasterIdentAndExtension)
{
    const struct {
        const char* unit;
        const char* line;
    } rows[] = {
        {"02 05 00 FF 09 C5", "diag station 3 master - ident 09C5 flags Station_Not_Ready,Prm_Req ext -"},
        {"00 0C 00 00 09 C5", "diag station 3 master 0 ident 09C5 flags WD_On ext -"},
        {"00 04 00 02 09 C5", "diag station 3 master 2 ident 09C5 flags - ext -"},
        {"46 05 00 FF 12 34",
         "diag station 3 master - ident 1234 flags Station_Not_Ready,Cfg_Fault,Prm_Fault,Prm_Req ext -"},
        {"FF FF FF 7E 09 C5 03 81 02",
         "diag station 3 master 126 ident 09C5 flags Station_Non_Existent,Station_Not_Ready,Cfg_Fault,Ext_Diag,"
         "Not_Supported,Invalid_Slave_Response,Prm_Fault,Master_Lock,Prm_Req,Stat_Diag,WD_On,Freeze_Mode,Sync_Mode,"
         "Deactivated,Ext_Diag_Overflow ext 03 81 02"},
    };
    for (const auto& row : rows) {
        const auto d = diag::Decode(3, BytesFromHex(row.unit));
        ASSERT_TRUE(d) << row.unit;
        EXPECT_EQ(diag::Line(*d), row.line);
    }
    EXPECT_FALSE(diag::Decode(3, BytesFromHex("02 05 00 FF 09")));  // five bytes are no diagnosis
}

TEST(Diagnosis, IsTakenFromASlaveDiagReplyOnly)
{
    const auto d = diag::DecodeReply(BytesFromHex("68 0B 0B 68 80 87 08 3E 3C 00 0C 00 00 09 C5 63 16 E5"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->station, 7);
    EXPECT_TRUE(d->Has(diag::WD_On));
    EXPECT_FALSE(diag::DecodeReply(BytesFromHex("68 0B 0B 68 80 87 08 3E 3C 00 0C 00 00 09 C5 62 16")));  // check sum
    EXPECT_FALSE(diag::DecodeReply(BytesFromHex("68 0B 0B 68 80 87 08 3E 3B 00 0C 00 00 09 C5 62 16")));  // Get_Cfg
}

TEST(Diagnosis, ConfigurationGivesTheModuleCountOfAWzmOnly)
{
    const struct {
        const char* config;
        const char* text;
    } rows[] = {
        {"C0 07 07 20 1F", "1"},
        {"C0 07 07 20 1F 20 1F 20 1F", "3"},
        {"C0 07 07 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F", "8"},
        {"C0 07 07", "not a WZM configuration"},
        {"C0 07 07 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F", "not a WZM configuration"},
        {"C0 07 07 20 1F 20", "not a WZM configuration"},
        {"C0 07 07 20 1F 1F 20", "not a WZM configuration"},
        {"C0 0F 07 20 1F", "not a WZM configuration"},
        {"13 23", "not a WZM configuration"},
        {"", "not a WZM configuration"},
    };
    for (const auto& row : rows) EXPECT_EQ(diag::ModuleCountText(BytesFromHex(row.config)), row.text) << row.config;
}

TEST(StationReply, CutsWholeTelegramsAndSkipsWhatCannotStartOne)
{
    using telegram::TReplyCut;
    const struct {
        const char* bytes;
        TReplyCut::Kind kind;
        std::size_t length;
    } rows[] = {
        {"10 00 07 00 07 16 10", TReplyCut::Frame, 6},
        {"10 00 07 00 07", TReplyCut::NeedMore, 0},
        {"10 00 07 00 08 16", TReplyCut::Skip, 1},  // check sum
        {"10 00 07 00 07 17", TReplyCut::Skip, 1},  // end delimiter
        {"E5 E5", TReplyCut::Frame, 1},
        {"FF 10", TReplyCut::Skip, 1},
        {"68 05 06 68 80 87 08 3E 3B", TReplyCut::Skip, 1},
        {"68 05 05 68 80 87 08 3E", TReplyCut::NeedMore, 0},
        {"68 05 05 68 80 87 08 3E 3B 88 16", TReplyCut::Frame, 11},
    };
    for (const auto& row : rows) {
        const TByteString b = BytesFromHex(row.bytes);
        const TReplyCut cut = telegram::CutReply(b.data(), b.size());
        EXPECT_EQ(cut.kind, row.kind) << row.bytes;
        EXPECT_EQ(cut.length, row.length) << row.bytes;
    }
    const auto status = telegram::FirstReply(BytesFromHex("10 00 07 30 37 16"));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->sa, 7);
    EXPECT_EQ(telegram::StationTypeOf(status->fc), telegram::TStationType::MasterInRing);
}
