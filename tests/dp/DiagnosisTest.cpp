// The decoded diagnosis and the module count a configuration stands for.
#include "Hex.h"
#include "dp/Diagnosis.h"

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
