// Test main for widget tests: a QApplication on the offscreen platform (unless
// a display platform was chosen) and a pinned locale, so that decimal
// separators and geometry do not depend on the machine.
#include <QApplication>
#include <QLocale>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::signal(SIGPIPE, SIG_IGN);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
