// The Windows side of the serial component: its control block mapping,
// events, system texts and the open's result codes. Byte transport over a
// real COM port is the Windows job's end-to-end run against the simulator.
#include "serial/SystemInfo.h"
#include "serial/VeltDispatch.h"
#include "serial/VeltEvent.h"
#include "serial/VeltMisc.h"
#include "serial/win32/DeviceControlBlock.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

TDeviceControlBlock Block(std::uint32_t baud, std::uint8_t size, std::uint8_t parity, std::uint8_t stop)
{
    TDeviceControlBlock b;
    b.BaudRate = baud;
    b.ByteSize = size;
    b.Parity = parity;
    b.StopBits = stop;
    return b;
}

}  // namespace

TEST(Win32ControlBlock, SettingsSurviveTheSystemRecord)
{
    TDeviceControlBlock flow = Block(9600, 7, 1, TDeviceControlBlock::TwoStopBits);
    flow.OutxCtsFlow = flow.OutX = flow.InX = flow.ParityCheck = true;
    flow.RtsControl = TDeviceControlBlock::RtsHandshake;
    flow.DtrControl = TDeviceControlBlock::DtrEnable;
    flow.XonLim = 100;
    flow.XoffLim = 200;
    flow.XonChar = 'a';
    flow.XoffChar = 'b';
    for (const TDeviceControlBlock& block :
         {Block(19200, 8, 2, 0), Block(187500, 8, 2, 0), Block(45450, 5, 4, 1), flow}) {
        DCB dcb{};
        ASSERT_EQ(win32dcb::FromBlock(block, dcb), ecOK);
        EXPECT_EQ(dcb.fAbortOnError, 0u) << "an error would stall the port until cleared";
        // A character with a parity error comes as the error character, so a read can tell which.
        EXPECT_EQ(dcb.fErrorChar != 0, block.ParityCheck);
        if (block.ParityCheck) {
            EXPECT_EQ(dcb.ErrorChar, win32dcb::ErrorChar);
        }
        EXPECT_EQ(win32dcb::ToBlock(dcb), block) << block.BaudRate;
    }
}

TEST(Win32ControlBlock, ValuesTheSystemDoesNotKnowAreRefused)
{
    DCB dcb{};
    EXPECT_EQ(win32dcb::FromBlock(Block(19200, 9, 2, 0), dcb), ecByteSize);
    EXPECT_EQ(win32dcb::FromBlock(Block(19200, 4, 2, 0), dcb), ecByteSize);
    EXPECT_EQ(win32dcb::FromBlock(Block(19200, 8, 5, 0), dcb), ecDefault);
    EXPECT_EQ(win32dcb::FromBlock(Block(19200, 8, 2, 3), dcb), ecDefault);
}

TEST(Win32Event, AutoResetReleasesOneWaitManualResetStays)
{
    TVeltEvent automatic(TVeltEvent::Reset::Auto);
    TVeltEvent manual(TVeltEvent::Reset::Manual);
    ASSERT_TRUE(automatic.Valid() && manual.Valid());
    EXPECT_FALSE(automatic.Wait(0));
    automatic.Set();
    EXPECT_TRUE(automatic.TryConsume());
    EXPECT_FALSE(automatic.TryConsume());
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.TryConsume());
    manual.ResetEvent();
    EXPECT_FALSE(manual.Wait(0));
}

TEST(Win32Event, WaitAnyNamesTheEventSetByAnotherThread)
{
    TVeltEvent first(TVeltEvent::Reset::Auto);
    TVeltEvent second(TVeltEvent::Reset::Auto);
    EXPECT_EQ(TVeltEvent::WaitAny({&first, &second}, 10), -1);
    std::thread setter([&] { second.Set(); });
    EXPECT_EQ(TVeltEvent::WaitAny({&first, &second}), 1);
    setter.join();
    EXPECT_FALSE(second.TryConsume()) << "the wait consumed it";
}

TEST(Win32System, NamesAndErrorTextsComeFromTheSystem)
{
    EXPECT_EQ(OperatingSystemName().rfind("Windows", 0), 0u) << OperatingSystemName();
    const std::string text = SystemErrorDescription(2);  // file not found
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '.');
    EXPECT_FALSE(ProgramFolder().empty());
}

TEST(Win32Dispatcher, AMissingPortIsNotFoundAndLeavesNothingRunning)
{
    auto dispatcher = MakeNativeDispatcher();
    EXPECT_EQ(dispatcher->Activate("\\\\.\\COM219", 19200, 2, 8, 0, 4096, 4096, true, true), ecFileNotFound);
    EXPECT_EQ(dispatcher->RunningThreads(), 0);
    EXPECT_EQ(dispatcher->Activate("\\\\.\\NUL", 19200, 2, 8, 0, 4096, 4096, true, true), ecFileNotFound)
        << "a device that is no serial port";
}
