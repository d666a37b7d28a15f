// Every quorvel-cli command line of the README and of doc/*.md, run as
// written (build/ being the build tree) from a folder without Quorvel.conf,
// against the simulator the same file starts before it: an example that fails
// is a failing test.
#include "tests/support/AppEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace std::chrono_literals;

namespace {

// The README first, then the pages of doc/ in name order.
std::vector<std::filesystem::path> Guides()
{
    const std::filesystem::path root(QUORVEL_SOURCE_DIR);
    std::vector<std::filesystem::path> pages;
    for (const auto& entry : std::filesystem::directory_iterator(root / "doc"))
        if (entry.path().extension() == ".md") pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    pages.insert(pages.begin(), root / "README.md");
    return pages;
}

}  // namespace

TEST(ReadmeExamples, EveryCommandLineRunsAgainstTheSimulator)
{
    TTempTree tree(false);  // the program finds the shipped Quorvel.conf beside it
    int ran = 0;
    for (const std::filesystem::path& guide : Guides()) {
        std::ifstream text(guide);
        ASSERT_TRUE(text) << guide;
        std::vector<std::string> slave;  // the simulator the file started last (its fault examples aside)
        for (std::string line; std::getline(text, line);) {
            if (!line.starts_with("    build/")) continue;
            std::istringstream words(line);
            std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
            const std::string program = QUORVEL_BUILD_DIR + args[0].substr(std::string("build").size());
            args.erase(args.begin());
            if (program.ends_with("/quorvel-slave")) {
                if (line.find("--fault") == std::string::npos) slave = args;
                continue;
            }
            if (!program.ends_with("/quorvel-cli")) continue;
            SCOPED_TRACE(guide.filename().string() + ": " + line);
            ASSERT_FALSE(slave.empty()) << "the file starts no simulator before this line";
            TSlaveProcess simulator(slave);
            ChildProcess cli(program, args);
            EXPECT_EQ(cli.Wait(120s), 0) << cli.Errors();
            ++ran;
        }
    }
    EXPECT_GE(ran, 7);
}
