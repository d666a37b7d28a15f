// Every quorvel-cli command line of the README, run as written (build/ being
// the build tree) from a folder without Quorvel.conf, against the simulator
// the README starts before it: a README example that fails is a failing test.
#include "tests/support/AppEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

using namespace std::chrono_literals;

TEST(ReadmeExamples, EveryCommandLineRunsAgainstTheSimulator)
{
    TTempTree tree(false);  // the program finds the shipped Quorvel.conf beside it
    std::ifstream readme(QUORVEL_README);
    ASSERT_TRUE(readme) << QUORVEL_README;
    std::vector<std::string> slave;  // the simulator the README started last (its fault examples aside)
    int ran = 0;
    for (std::string line; std::getline(readme, line);) {
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
        SCOPED_TRACE(line);
        ASSERT_FALSE(slave.empty()) << "the README starts no simulator before this line";
        TSlaveProcess simulator(slave);
        ChildProcess cli(program, args);
        EXPECT_EQ(cli.Wait(120s), 0) << cli.Errors();
        ++ran;
    }
    EXPECT_GE(ran, 5);
}
