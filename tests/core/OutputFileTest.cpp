// The file names Windows takes for devices, refused as destinations there.
#include "core/OutputFile.h"

#include <gtest/gtest.h>

TEST(OutputFile, WindowsDeviceNamesInAnyCaseWithOrWithoutAnExtension)
{
    for (const char* device : {"NUL", "nul", "aux.txt", "Con.tar.gz", "prn ", "COM5", "com9.log", "LPT1",
                               "COM5:", "conout$", "C:\\Tools\\NUL", "/home/u/aux.txt", "C:nul"})
        EXPECT_TRUE(outfile::IsWindowsDeviceName(device)) << device;
    for (const char* name :
         {"COM0", "COM10", "LPT", "console.txt", "nul/backup.txt", "auxiliary", "my-nul.txt", "", "backups\\"})
        EXPECT_FALSE(outfile::IsWindowsDeviceName(name)) << name;
#ifdef _WIN32
    std::string error;
    EXPECT_FALSE(outfile::CheckDestination("aux.txt", error));
    EXPECT_NE(error.find("device"), std::string::npos) << error;
#endif
}
