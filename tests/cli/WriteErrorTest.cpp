// Files the program writes, on a disk that fills up (a file size limit
// stands for it): the trace and the weight log end at their last whole block
// or row and say why; a backup never replaces an older file with part of one.
#include "core/OutputFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "cli/WeightLog.h"
#include "trace/TraceRecorder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <iterator>
#include <sys/resource.h>

namespace {

std::string Contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(WriteErrors, FilesEndWholeAndSayWhy)
{
    constexpr std::size_t Limit = 10000;
    TempFolder folder;
    const std::string older = (folder.path / "backup.txt").string();
    std::string error;
    ASSERT_TRUE(outfile::WriteWhole(older, "old\n", error)) << error;
    // Past Limit bytes a write fails with EFBIG ("File too large").
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit limit{Limit, before.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);

    TTraceRecorder recorder;
    const std::string trace = (folder.path / "run.pcapng").string();
    ASSERT_TRUE(recorder.Start(trace, error)) << error;
    const std::uint8_t telegram[37] = {0x68};
    ASSERT_TRUE(WaitUntil([&] {
        recorder.Record(pcapng::Direction::Outbound, telegram, sizeof telegram);
        return !recorder.Recording();
    }));
    EXPECT_NE(recorder.Stop().find("File too large; the file ends with its last whole block"), std::string::npos);
    const std::string blocks = Contents(trace);  // each block starts with its type and total length
    std::size_t at = 0;
    for (std::uint32_t length = 0; at + 8 <= blocks.size(); at += length) {
        std::memcpy(&length, blocks.data() + at + 4, 4);
        ASSERT_TRUE(length >= 12 && at + length <= blocks.size()) << "a cut block at " << at;
    }
    EXPECT_TRUE(at == blocks.size() && at > Limit / 2) << at;

    TWeightLog log;
    std::string report;
    const std::string csv = (folder.path / "w.csv").string();
    ASSERT_TRUE(log.Start(csv, error, [&report](const std::string& m) { report = m; })) << error;
    const std::uint8_t zeros[200] = {};
    for (std::int64_t ms = 0; log.Recording() && ms < 1000; ++ms) log.Add(TByteString(zeros, sizeof zeros), 1, ms);
    EXPECT_NE(report.find("File too large; the weight log stopped after its last whole row"), std::string::npos)
        << report;
    const std::string rows = Contents(csv);
    EXPECT_TRUE(rows.size() > Limit / 2 && rows.back() == '\n');

    EXPECT_FALSE(outfile::WriteWhole(older, std::string(2 * Limit, 'x'), error));
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(error, "cannot write " + older + ": File too large");
    EXPECT_EQ(Contents(older), "old\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 3) << "no part file is left";
}
