// Each system's texts name that system's places and remedies.
#include "app/PlatformTexts.h"

#include <gtest/gtest.h>

TEST(PlatformTexts, WindowsNamesDeviceManagerTheOthersTheDialoutGroup)
{
    for (const std::string& text : {platformtext::Usage(true), platformtext::NoPortAdvice(true)}) {
        EXPECT_NE(text.find("Device Manager"), std::string::npos) << text;
        for (const char* foreign : {"dialout", "/usr/", "/tmp", "quorvel-slave"})
            EXPECT_EQ(text.find(foreign), std::string::npos) << foreign << " in " << text;
    }
    for (const std::string& text : {platformtext::Usage(false), platformtext::NoPortAdvice(false)})
        EXPECT_NE(text.find("dialout"), std::string::npos) << text;
}
