// Test main for the Qt-free tests: a fixed C locale so number formats agree.
#include <clocale>
#include <csignal>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C");
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // a vanished far side must not kill the test
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
