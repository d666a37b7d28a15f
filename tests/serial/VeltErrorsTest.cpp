// Result codes to exceptions, message texts and the compiled-in string tables.
#include "serial/VeltComponent.h"
#include "serial/SystemInfo.h"
#include "serial/VeltExcept.h"
#include "serial/VeltMisc.h"
#include "serial/VeltStrings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

// Runs RaiseOnError and returns the exception it raised (fails when none).
template <class E>
E Raised(int code)
{
    try {
        RaiseOnError(code);
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "code " << code << " raised nothing or another class";
    throw std::logic_error("no exception");
}

TEST(RaiseOnError, SuccessAndPositiveCodesPassThrough)
{
    EXPECT_EQ(RaiseOnError(0), 0);
    EXPECT_EQ(RaiseOnError(1), 1);
}

TEST(RaiseOnError, ListedCodesRaiseTheirClassWithCodeAndText)
{
    auto e = Raised<ECommNotOpen>(-2007);
    EXPECT_EQ(e.ErrorCode(), -2007);
    EXPECT_STREQ(e.what(), "ie_NOpen - device not open");

    EXPECT_STREQ(Raised<EBadId>(-2001).what(), "ie_BadId - Specified comport doesn't exist");
    EXPECT_STREQ(Raised<EAlreadyOpen>(-2008).what(), "ie_Open - device already open");
    EXPECT_STREQ(Raised<ENoPortSelected>(-2011).what(), "The ComNumber property of the TVeltComPort has not been set");
    EXPECT_STREQ(Raised<EOutputBufferTooSmall>(-3006).what(), "Output buffer too small for block");
    EXPECT_STREQ(Raised<EPutBlockFail>(-3004).what(), "Failed to put entire block");
    EXPECT_STREQ(Raised<EBufferIsEmpty>(-3007).what(), "Buffer is empty");
    EXPECT_STREQ(Raised<EBadArgument>(-1002).what(), "Bad argument passed to function");
    EXPECT_STREQ(Raised<EBufferTooBig>(-1004).what(), "Terminal buffer greater than 65521");
    // Families catch their members; reduced families keep the code.
    EXPECT_EQ(Raised<EOpenComm>(-2005).ErrorCode(), -2005);
    EXPECT_EQ(Raised<EInternal>(-7012).ErrorCode(), -7012);
    EXPECT_EQ(Raised<EINI>(-7008).ErrorCode(), -7008);
    EXPECT_EQ(Raised<ETapi>(-13802).ErrorCode(), -13802);
    EXPECT_EQ(Raised<ETapi>(-13942).ErrorCode(), -13942);
    EXPECT_EQ(Raised<ERas>(-13980).ErrorCode(), -13980);
    EXPECT_EQ(Raised<EProtocol>(-6008).ErrorCode(), -6008);
}

TEST(RaiseOnError, EveryListedCodeHasAMessage)
{
    const std::vector<int> codes = {-1002, -1003, -1004, -1005, -1006, -1007, -1008,  -1009,  -2001,  -2002,  -2003,
                                    -2004, -2005, -2006, -2007, -2008, -2009, -2010,  -2011,  -2012,  -3001,  -3003,
                                    -3004, -3005, -3006, -3007, -3008, -3009, -3010,  -3011,  -4001,  -4008,  -5002,
                                    -5003, -6006, -7001, -7014, -8001, -8070, -13801, -13886, -13928, -13942, -13980};
    for (int code : codes) {
        try {
            RaiseOnError(code);
            ADD_FAILURE() << code << " raised nothing";
        } catch (const EVeltException& e) {
            EXPECT_EQ(e.ErrorCode(), code);
            EXPECT_GT(std::strlen(e.what()), 0u) << code;
        }
    }
}

TEST(RaiseOnError, SystemCodesRaiseInputOutputErrors)
{
    auto notFound = Raised<EInOutError>(-2);
    EXPECT_STREQ(notFound.what(), "File not found");
    EXPECT_EQ(notFound.ErrorCode(), 2);
    EXPECT_STREQ(Raised<EInOutError>(-3).what(), "Path not found");
    EXPECT_STREQ(Raised<EInOutError>(-5).what(), "File access denied");
    // Not in the table: the system's own text, tidied to one line.
    auto other = Raised<EInOutError>(-87);
    EXPECT_EQ(other.ErrorCode(), 87);
    EXPECT_EQ(other.what(), CollapseWhitespace(SystemErrorDescription(87)));
    EXPECT_THROW(RaiseOnError(-8), std::bad_alloc);
}

TEST(RaiseOnError, UnlistedCodesRaiseThePlainException)
{
    for (int code : {-1, -1001, -3002, -5001, -6001, -163, -20000}) {
        auto e = Raised<EVeltException>(code);
        EXPECT_STREQ(e.what(), "Velt exception") << code;
        EXPECT_EQ(e.ErrorCode(), 0) << code;
    }
}

TEST(RaiseOnError, ReturnsTheCodeWhileTheComponentLoads)
{
    TComponent component;
    component.BeginLoading();
    EXPECT_EQ(RaiseOnError(&component, -2001), -2001);
    component.EndLoading();
    EXPECT_THROW(RaiseOnError(&component, -2001), EBadId);
}

TEST(ErrorText, TableFirstThenSystemTextThenEmpty)
{
    EXPECT_EQ(ErrorText(-1001), "Bad handle passed to com function");
    EXPECT_EQ(ErrorText(3007), "Buffer is empty");  // the sign does not matter
    // No entry: the system's text for its own error number.
    EXPECT_EQ(ErrorText(13), SystemErrorDescription(13));
    EXPECT_FALSE(ErrorText(1).empty());
#ifdef __linux__
    EXPECT_EQ(ErrorText(13), "Permission denied");
#endif
    EXPECT_EQ(ErrorText(9999), "");
}

TEST(CollapseWhitespace, ControlCharactersBecomeSingleSpaces)
{
    EXPECT_EQ(CollapseWhitespace("a\r\n b\t\tc  d"), "a b c d");
    EXPECT_EQ(CollapseWhitespace(""), "");
}

TEST(StrToInt, AcceptsIntegersAndRejectsEverythingElse)
{
    EXPECT_EQ(StrToInt("12"), 12);
    EXPECT_EQ(StrToInt("  -7"), -7);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    for (const char* bad : {"", " ", "-", "1a", "12 ", "2147483648", "99999999999999999999", "$"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "'" << bad << "' was accepted";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

TEST(StringTables, BuiltInTablesAnswerLookups)
{
    EXPECT_EQ(ErrorStrings().GetString(15501), "Time      Type      SubType       Data      OtherData");
    EXPECT_EQ(ErrorStrings().GetString(1), "");  // between ids 0.. and 2
    EXPECT_EQ(ReaderStrings().GetString(1), "String not found: %d");
    // The reader's table keeps its documented size: 5 entries, 324 bytes.
    EXPECT_EQ(FindStringTable(ReaderStringsName).size, 324u);
    TVeltStringResource strict(ErrorStringsName);
    strict.RaiseOnMissing = true;
    EXPECT_THROW(
        {
            try {
                strict.GetString(1);
            } catch (const EStringTableError& e) {
                EXPECT_STREQ(e.what(), "String not found: 1");
                throw;
            }
        },
        EStringTableError);
}

// Builds an "STR0" table from (id, ASCII text) pairs in the given order.
std::vector<std::uint8_t> MakeTable(const std::vector<std::pair<std::uint32_t, std::string>>& entries)
{
    std::vector<std::uint8_t> t{'S', 'T', 'R', '0'};
    auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) t.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put(static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = 8 + 12 * static_cast<std::uint32_t>(entries.size());
    for (const auto& [id, text] : entries) {
        put(id);
        put(offset);
        put(static_cast<std::uint32_t>(text.size()));
        offset += 2 * static_cast<std::uint32_t>(text.size());
    }
    for (const auto& e : entries)
        for (char c : e.second) {
            t.push_back(static_cast<std::uint8_t>(c));
            t.push_back(0);
        }
    return t;
}

class RegisteredTable {
public:
    RegisteredTable(const std::string& name, std::vector<std::uint8_t> bytes) : name_(name), bytes_(std::move(bytes))
    {
        RegisterStringTable(name_, {bytes_.data(), bytes_.size()});
    }
    ~RegisteredTable() { UnregisterStringTable(name_); }

private:
    std::string name_;
    std::vector<std::uint8_t> bytes_;
};

TEST(StringTables, ReadsARegisteredTable)
{
    RegisteredTable table("TEST_TABLE", MakeTable({{3, "three"}, {10, "ten"}, {200, "two hundred"}}));
    TVeltStringResource reader("TEST_TABLE");
    EXPECT_EQ(reader.GetString(3), "three");
    EXPECT_EQ(reader.GetString(200), "two hundred");
    EXPECT_EQ(reader.GetString(4), "");
    EXPECT_EQ(reader.GetString(0), "");
    EXPECT_EQ(reader.GetString(1000), "");
}

void ExpectMalformed(const std::vector<std::uint8_t>& bytes)
{
    RegisteredTable table("BAD_TABLE", bytes);
    try {
        TVeltStringResource reader("BAD_TABLE");
        ADD_FAILURE() << "a malformed table was accepted";
    } catch (const EStringTableError& e) {
        EXPECT_STREQ(e.what(), "BAD_TABLE is not a string table.");
    }
}

TEST(StringTables, MalformedTablesAreRejected)
{
    auto good = MakeTable({{1, "a"}, {2, "b"}});
    auto badMagic = good;
    badMagic[3] = '1';
    ExpectMalformed(badMagic);
    ExpectMalformed({'S', 'T', 'R'});  // shorter than the header
    auto hugeCount = good;
    hugeCount[7] = 0x7F;  // more entries than bytes
    ExpectMalformed(hugeCount);
    auto textOutside = good;
    textOutside[8 + 4] = 0xF0;  // text offset past the end
    ExpectMalformed(textOutside);
    ExpectMalformed(MakeTable({{2, "b"}, {1, "a"}}));  // ids not ascending
    ExpectMalformed({good.begin(), good.end() - 1});   // last text cut short
}

TEST(StringTables, MissingTableIsReported)
{
    try {
        TVeltStringResource reader("NO_SUCH_TABLE");
        ADD_FAILURE() << "a missing table was accepted";
    } catch (const EStringTableError& e) {
        EXPECT_STREQ(e.what(), "String resource not found: NO_SUCH_TABLE");
    }
}

}  // namespace
