// The port component on real pseudo-terminals linked as COM<n> in a private
// port directory: settings before and after open, probing port numbers, the
// byte operations and their failures, ports held elsewhere, a far side that
// vanishes, listeners and notifications.
#include "tests/support/LinkedPorts.h"
#include "tests/support/ProcessCounts.h"
#include "serial/VeltDispatch.h"
#include "serial/VeltExcept.h"
#include "serial/VeltPort.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <cstring>
#include <string>

namespace {

class VeltPortTest : public ::testing::Test {
protected:
    VeltPortTest() { port.SetPromptForPort(false); }

    // Expects `action` to raise E with this code and text.
    template <typename E, typename Action>
    static void ExpectRaises(Action action, int code, const std::string& text)
    {
        try {
            action();
            ADD_FAILURE() << "nothing raised";
        } catch (const E& e) {
            EXPECT_EQ(e.ErrorCode(), code);
            EXPECT_STREQ(e.what(), text.c_str());
        }
    }

    void ExpectClosedAndReleased() const
    {
        EXPECT_FALSE(port.Open());
        EXPECT_EQ(port.LinkState(), TLinkState::Closed);
        EXPECT_EQ(port.Dispatcher(), nullptr);
    }

    LinkedPorts ports;
    TVeltComPort port;
};

TByteString Text(const std::string& s)
{
    return TByteString(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// Fills the line towards the far side so that nothing more can be written
// until the far side reads.
void FillLine(const PtyPair& pty)
{
    fcntl(pty.keepSlave, F_SETFL, fcntl(pty.keepSlave, F_GETFL) | O_NONBLOCK);
    const std::string block(4096, 'x');
    // The kernel frees room a little after a write fails while it moves data
    // on to the far side's queue: fill until a pause brings no more room.
    for (bool wrote = true; wrote;) {
        wrote = false;
        while (write(pty.keepSlave, block.data(), block.size()) > 0) wrote = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

TEST_F(VeltPortTest, CreatedClosedWithItsDefaults)
{
    ExpectClosedAndReleased();
    EXPECT_EQ(port.ComNumber(), 0);
    EXPECT_EQ(port.Baud(), 19200);
    EXPECT_EQ(port.Parity(), pNone);
    EXPECT_EQ(port.DataBits(), 8);
    EXPECT_EQ(port.StopBits(), 1);
    EXPECT_TRUE(port.DTR());
    EXPECT_TRUE(port.RTS());
    EXPECT_TRUE(port.AutoOpen());
    EXPECT_EQ(port.InSize(), 4096);
    EXPECT_EQ(port.OutSize(), 4096);
    EXPECT_EQ(port.TraceName(), "VELT.TRC");
    EXPECT_EQ(port.LogName(), "VELT.LOG");
    EXPECT_EQ(port.Version(), "v3.01");
    port.SetVersion("v9");
    EXPECT_EQ(port.Version(), "v3.01");
}

TEST_F(VeltPortTest, SettingsStoredBeforeOpenAreAppliedByIt)
{
    ports.Add(2);
    port.SetRTS(false);
    port.SetDTR(false);
    port.SetBaud(9600);
    port.SetParity(pEven);
    port.SetComNumber(2);
    EXPECT_EQ(port.Dispatcher(), nullptr);  // only stored

    port.OpenPort();
    ASSERT_TRUE(port.Open());
    TVeltBaseDispatcher& d = *port.Dispatcher();
    EXPECT_FALSE(d.DtrState());
    EXPECT_FALSE(d.RtsState());
    EXPECT_EQ(d.ControlBlock().BaudRate, 9600u);
    EXPECT_EQ(d.ControlBlock().Parity, pEven);

    port.SetDTR(true);  // on an open port the line follows at once
    port.SetRTS(true);
    port.SetBaud(19200);
    EXPECT_TRUE(d.DtrState());
    EXPECT_TRUE(d.RtsState());
    EXPECT_EQ(d.ControlBlock().BaudRate, 19200u);
}

TEST_F(VeltPortTest, ProbingCom1To99OpensTheTwoPortsAndLeavesNothingBehind)
{
    ports.Add(2);
    ports.Add(5);
    const int threads = ThreadCount();
    const int descriptors = DescriptorCount();
    std::vector<int> opened;
    int badIds = 0;
    for (int n = 1; n <= 99; ++n) {
        port.SetComNumber(static_cast<std::uint16_t>(n));
        try {
            port.OpenPort();
            opened.push_back(n);
            port.ClosePort();
        } catch (const EBadId& e) {
            ++badIds;
            EXPECT_STREQ(e.what(), "ie_BadId - Specified comport doesn't exist");
        }
        ExpectClosedAndReleased();
        ASSERT_EQ(ThreadCountSettlingAt(threads), threads) << "COM" << n;
        ASSERT_EQ(DescriptorCount(), descriptors) << "COM" << n;
    }
    EXPECT_EQ(opened, (std::vector<int>{2, 5}));
    EXPECT_EQ(badIds, 97);
}

TEST_F(VeltPortTest, ComNumberChangedWhileOpenReopensAndAFailedReopenLeavesItClosed)
{
    PtyPair& com2 = ports.Add(2);
    PtyPair& com5 = ports.Add(5);
    port.SetComNumber(2);
    port.OpenPort();
    port.WriteString(Text("a"));
    EXPECT_EQ(ReadFar(com2), Text("a"));

    port.SetComNumber(5);
    EXPECT_TRUE(port.Open());
    port.WriteString(Text("b"));
    EXPECT_EQ(ReadFar(com5), Text("b"));

    EXPECT_THROW(port.SetComNumber(7), EBadId);
    ExpectClosedAndReleased();
    EXPECT_EQ(port.ComNumber(), 7);
}

TEST_F(VeltPortTest, ClosePortOnAClosedPortOnlyClearsOpen)
{
    int told = 0;
    port.AddListener([&](TVeltCustomComPort&, bool) { ++told; });
    EXPECT_NO_THROW(port.ClosePort());
    ExpectClosedAndReleased();
    EXPECT_EQ(told, 0);
}

TEST_F(VeltPortTest, ReadByteAfterInputAvailableAndOnAnEmptyBuffer)
{
    PtyPair& com1 = ports.Add(1);
    port.SetComNumber(1);
    port.OpenPort();
    EXPECT_FALSE(port.InputAvailable());
    ExpectRaises<EBufferIsEmpty>([&] { port.ReadByte(); }, -3007, "Buffer is empty");

    WriteFar(com1, Text("OK"));
    ASSERT_TRUE(WaitUntil([&] { return port.InputAvailable(); }));
    EXPECT_EQ(port.ReadByte(), 'O');
    ASSERT_TRUE(WaitUntil([&] { return port.InputAvailable(); }));
    EXPECT_EQ(port.ReadByte(), 'K');
    EXPECT_FALSE(port.InputAvailable());
    EXPECT_THROW(port.ReadByte(), EBufferIsEmpty);
}

TEST_F(VeltPortTest, WriteStringOfNothingOfTheFreeRoomAndOneByteMore)
{
    PtyPair& com1 = ports.Add(1);
    port.SetComNumber(1);
    port.SetOutSize(255);
    port.OpenPort();
    EXPECT_NO_THROW(port.WriteString(TByteString()));

    FillLine(com1);  // the output thread can pass nothing on now
    const TByteString first = TByteString::Filled(200, 'a');
    const TByteString rest = TByteString::Filled(55, 'b');
    port.WriteString(first);
    ExpectRaises<EOutputBufferTooSmall>([&] { port.WriteString(TByteString::Filled(56, 'c')); }, -3006,
                                        "Output buffer too small for block");
    port.WriteString(rest);  // exactly the free room
    EXPECT_EQ(port.Dispatcher()->OutputUsed(), 255u);
    EXPECT_THROW(port.WriteString(Text("d")), EOutputBufferTooSmall);
    EXPECT_EQ(port.Dispatcher()->OutputUsed(), 255u);  // nothing queued

    const std::string got = ReadFarText(com1, 100ms, 100ms);  // the far side reads: everything queued arrives, in order
    ASSERT_GE(got.size(), 255u);
    EXPECT_EQ(got.substr(got.size() - 255), std::string(200, 'a') + std::string(55, 'b'));
}

TEST_F(VeltPortTest, ListeningPortRefusesEveryWriteAndNothingReachesTheLine)
{
    PtyPair& com1 = ports.Add(1);
    port.SetComNumber(1);
    port.SetListenOnly(true);
    port.OpenPort();
    ExpectRaises<EListenOnly>([&] { port.WriteString(Text("request")); }, -3011,
                              "Port is open for listening only: nothing is sent");
    EXPECT_EQ(port.Dispatcher()->OutputUsed(), 0u);
    EXPECT_EQ(ReadFarText(com1, 100ms, 100ms), "");

    port.SetListenOnly(false);  // the same open port sends again
    port.WriteString(Text("sent"));
    EXPECT_EQ(ReadFarText(com1, 100ms, 100ms), "sent");
}

TEST_F(VeltPortTest, DtrUnderHardwareFlowControlKeepsItsValue)
{
    ports.Add(1);
    port.SetComNumber(1);
    port.SetDTR(false);
    port.OpenPort();
    port.SetHWFlowOptions(HWFlowBit(hwfUseDTR));
    EXPECT_EQ(port.BufferFull(), 3686);  // 90 % and 10 % of InSize
    EXPECT_EQ(port.BufferResume(), 409);
    EXPECT_NO_THROW(port.SetDTR(true));
    EXPECT_FALSE(port.DTR());
    port.SetHWFlowOptions(0);
    port.SetDTR(true);
    EXPECT_TRUE(port.DTR());
}

TEST_F(VeltPortTest, FlowMarksAndRecorderSizesAreKeptInRange)
{
    port.SetBufferFull(5000);  // beyond InSize
    EXPECT_EQ(port.BufferFull(), 3686);
    port.SetBufferResume(4000);  // above BufferFull
    EXPECT_EQ(port.BufferResume(), 368);
    port.SetSWFlowOptions(swfBoth);
    EXPECT_EQ(port.BufferFull(), 3686);  // set marks stay

    port.SetTraceSize(5000000);
    EXPECT_EQ(port.TraceSize(), 4000000u);
    port.SetLogSize(20000000);
    EXPECT_EQ(port.LogSize(), 16000000u);

    port.SetTracing(tlPause);  // a closed port stores only on or off
    EXPECT_EQ(port.Tracing(), tlOff);
    port.SetTracing(tlOn);
    EXPECT_EQ(port.Tracing(), tlOn);
}

TEST_F(VeltPortTest, TraceRecordedWhileOpenIsWrittenAtClose)
{
    PtyPair& com1 = ports.Add(1);
    TempFolder files;
    const std::string trace = files.str() + "/port.trc";
    port.SetTraceName(trace);
    port.SetTracing(tlOn);
    port.SetComNumber(1);
    port.OpenPort();
    port.WriteString(Text("T"));
    WriteFar(com1, Text("R"));
    ASSERT_TRUE(WaitUntil([&] { return port.InputAvailable(); }));
    port.ReadByte();
    EXPECT_FALSE(std::filesystem::exists(trace));
    port.ClosePort();
    EXPECT_EQ(port.Tracing(), tlOff);
    ASSERT_TRUE(std::filesystem::exists(trace));
    EXPECT_GT(std::filesystem::file_size(trace), 0u);
}

TEST_F(VeltPortTest, Rs485ModeTakesRtsOutOfFlowControlAndLowersIt)
{
    port.SetHWFlowOptions(HWFlowBit(hwfUseRTS) | HWFlowBit(hwfRequireDSR));
    port.SetRS485Mode(true);
    EXPECT_EQ(port.HWFlowOptions(), HWFlowBit(hwfRequireDSR));
    EXPECT_FALSE(port.RTS());
    port.SetHWFlowOptions(HWFlowBit(hwfRequireCTS));
    EXPECT_FALSE(port.RS485Mode());
}

TEST_F(VeltPortTest, PortHeldByAnotherComponentOrProcessIsAlreadyOpen)
{
    PtyPair& com3 = ports.Add(3);
    TVeltComPort other;
    other.SetComNumber(3);
    other.OpenPort();
    port.SetComNumber(3);
    ExpectRaises<EAlreadyOpen>([&] { port.OpenPort(); }, -2008, "ie_Open - device already open");
    ExpectClosedAndReleased();
    other.WriteString(Text("still mine"));  // the holder is not disturbed
    EXPECT_EQ(ReadFar(com3), Text("still mine"));
    other.ClosePort();

    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    if (child == 0) {  // another program holding the device
        close(release[1]);
        const int fd = open(com3.path.c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    ExpectRaises<EAlreadyOpen>([&] { port.OpenPort(); }, -2008, "ie_Open - device already open");
    ExpectClosedAndReleased();
    close(release[1]);
    waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0]}) close(fd);
    EXPECT_NO_THROW(port.OpenPort());  // free again
}

// Without permission on the device the message says so (not "in use"). As
// root the open is tried by a child that has given up its privileges.
TEST_F(VeltPortTest, DeviceWithoutPermissionSaysPermissionIsMissing)
{
    PtyPair& pty = ports.Add(1);
    std::string message;
    if (geteuid() != 0) {
        chmod(pty.path.c_str(), 0);
        port.SetComNumber(1);
        try {
            port.OpenPort();
        } catch (const std::exception& e) {
            message = e.what();
        }
        ExpectClosedAndReleased();
    } else {
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(out[0]);
            std::string text = "no exception";
            if (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(2);
            char dir[] = "/tmp/quorvel-perm-XXXXXX";
            if (!mkdtemp(dir) || symlink(pty.path.c_str(), (std::string(dir) + "/COM1").c_str()) != 0) _exit(3);
            setenv("QUORVEL_PORT_DIR", dir, 1);
            {
                TVeltComPort p;
                p.SetComNumber(1);
                try {
                    p.OpenPort();
                } catch (const std::exception& e) {
                    text = e.what();
                }
            }
            unlink((std::string(dir) + "/COM1").c_str());
            rmdir(dir);
            (void)!write(out[1], text.data(), text.size());
            _exit(0);
        }
        close(out[1]);
        char buffer[256];
        ssize_t n;
        while ((n = read(out[0], buffer, sizeof buffer)) > 0) message.append(buffer, static_cast<std::size_t>(n));
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
    EXPECT_NE(message.find("Permission denied"), std::string::npos) << message;
}

TEST_F(VeltPortTest, UnsetPortNumberRaisesOrAsksThePrompt)
{
    ports.Add(2);
    ExpectRaises<ENoPortSelected>([&] { port.OpenPort(); }, -2011,
                                  "The ComNumber property of the TVeltComPort has not been set");
    port.SetPromptForPort(true);
    port.SetOnPromptForPort([](int&) { return false; });  // the user cancels
    EXPECT_THROW(port.OpenPort(), ENoPortSelected);
    ExpectClosedAndReleased();

    port.SetOnPromptForPort([](int& n) {
        n = 2;
        return true;
    });
    port.OpenPort();
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 2);
}

TEST_F(VeltPortTest, ByteOperationsOnAClosedPortOpenItOnlyWithAutoOpen)
{
    PtyPair& com1 = ports.Add(1);
    port.SetComNumber(1);
    port.SetAutoOpen(false);
    const std::string text = "ie_NOpen - device not open";
    ExpectRaises<ECommNotOpen>([&] { port.WriteString(Text("x")); }, -2007, text);
    ExpectRaises<ECommNotOpen>([&] { port.InputAvailable(); }, -2007, text);
    ExpectRaises<ECommNotOpen>([&] { port.ReadByte(); }, -2007, text);
    ExpectClosedAndReleased();

    port.SetAutoOpen(true);
    port.WriteString(Text("x"));
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(ReadFar(com1), Text("x"));
}

TEST_F(VeltPortTest, FarSideVanishingLeavesAQuietPortThatClosesCleanly)
{
    const int threads = ThreadCount();
    const int descriptors = DescriptorCount();
    ports.Add(1);
    port.SetComNumber(1);
    port.OpenPort();
    EXPECT_FALSE(port.DeviceGone());

    ports.Remove(1);  // both ends of the pseudo-terminal close
    ASSERT_TRUE(WaitUntil([&] { return port.DeviceGone(); }));
    const auto cpu = ProcessCpuTime();
    for (int i = 0; i < 20; ++i) {  // the program's 20 ms polling keeps working
        EXPECT_FALSE(port.InputAvailable());
        EXPECT_NO_THROW(port.WriteString(Text("lost")));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_LT(ProcessCpuTime() - cpu, std::chrono::milliseconds(40)) << "a thread spins";
    EXPECT_TRUE(port.Open());
    EXPECT_NO_THROW(port.ClosePort());
    ExpectClosedAndReleased();
    EXPECT_FALSE(port.DeviceGone());
    EXPECT_EQ(ThreadCountSettlingAt(threads), threads);
    EXPECT_EQ(DescriptorCount(), descriptors);
}

TEST_F(VeltPortTest, ListenersAreToldLastRegisteredFirst)
{
    ports.Add(1);
    port.SetComNumber(1);
    std::vector<std::string> told;
    port.AddListener([&](TVeltCustomComPort&, bool opened) { told.push_back(opened ? "A open" : "A close"); });
    const int b = port.AddListener([&](TVeltCustomComPort& p, bool opened) {
        EXPECT_EQ(&p, &port);
        told.push_back(opened ? "B open" : "B close");
    });
    port.SetOnLinkOpened([&](TVeltCustomComPort&) { told.push_back("linked"); });
    port.OpenPort();
    port.ClosePort();
    port.RemoveListener(b);
    port.OpenPort();
    port.ClosePort();
    EXPECT_EQ(told, (std::vector<std::string>{"B open", "A open", "linked", "B close", "A close", "A open", "linked",
                                              "A close"}));
}

// A trigger handler runs on the main thread from the notification queue; a
// close requested inside it is finished once the dispatch thread has left
// its notification.
TEST_F(VeltPortTest, TriggerHandlerRunsFromTheQueueAndMayClose)
{
    PtyPair& com1 = ports.Add(1);
    port.SetComNumber(1);
    // A close in the handler finishes later; an open asked for meanwhile is
    // cancelled by a second close.
    for (const bool reopenThenClose : {false, true}) {
        SCOPED_TRACE(reopenThenClose ? "close, open, close" : "close");
        unsigned avail = 0;
        port.SetOnTriggerAvail([&](TVeltCustomComPort& p, unsigned count) {
            avail = count;
            p.ClosePort();
            if (!reopenThenClose) return;
            p.OpenPort();
            p.ClosePort();
        });
        port.OpenPort();
        WriteFar(com1, Text("abc"));
        ASSERT_TRUE(WaitUntil([&] {
            TVeltCustomComPort::RunPendingNotifications();
            return port.LinkState() == TLinkState::Closed;
        }));
        TVeltCustomComPort::RunPendingNotifications();
        EXPECT_GE(avail, 1u);
        ExpectClosedAndReleased();
    }
}

TEST_F(VeltPortTest, StoredSettingsOpenWhenLoadingEnds)
{
    ports.Add(4);
    port.BeginLoading();
    port.SetComNumber(4);
    port.SetOpen(true);
    EXPECT_EQ(port.Dispatcher(), nullptr);
    port.EndLoading();
    EXPECT_TRUE(port.Open());

    TVeltComPort missing;  // a failed open there goes to the exception handler
    std::exception_ptr caught;
    TVeltCustomComPort::SetOnException([&](std::exception_ptr e) { caught = e; });
    missing.BeginLoading();
    missing.SetComNumber(9);
    missing.SetOpen(true);
    EXPECT_NO_THROW(missing.EndLoading());
    TVeltCustomComPort::SetOnException(nullptr);
    EXPECT_FALSE(missing.Open());
    EXPECT_TRUE(caught);
}

TEST_F(VeltPortTest, AssignTakesTheSettingsButNotTheOpenLink)
{
    ports.Add(1);
    TVeltComPort source;
    source.SetComNumber(1);
    source.SetBaud(9600);
    source.SetParity(pOdd);
    source.SetDTR(false);
    source.OpenPort();
    port.Assign(source);
    EXPECT_EQ(port.ComNumber(), 1);
    EXPECT_EQ(port.Baud(), 9600);
    EXPECT_EQ(port.Parity(), pOdd);
    EXPECT_FALSE(port.DTR());
    ExpectClosedAndReleased();
    EXPECT_TRUE(source.Open());
}

TEST_F(VeltPortTest, DestroyingAnOpenPortClosesIt)
{
    ports.Add(1);
    const int threads = ThreadCount();
    {
        TVeltComPort p;
        p.SetComNumber(1);
        p.OpenPort();
        EXPECT_GT(ThreadCount(), threads);
    }
    EXPECT_EQ(ThreadCountSettlingAt(threads), threads);
    port.SetComNumber(1);
    EXPECT_NO_THROW(port.OpenPort());  // nobody holds it any more
}
