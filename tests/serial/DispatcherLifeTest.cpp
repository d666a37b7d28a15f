// Opening, failing to open, and closing the dispatcher, also when the far
// side stops reading or goes away.
#include "DispatcherTestSupport.h"
#include "DispatcherRegistry.h"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dispatchtest;

namespace {

double ProcessCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

template <class F>
long ElapsedMs(F&& f)
{
    const auto start = Clock::now();
    f();
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A child process that runs `body` with one end of a pipe to the parent and
// is reaped when this object goes.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<void(int toParent, int fromParent)>& body)
    {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(up[0]);
            close(down[1]);
            body(up[1], down[0]);
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
        fromChild_ = up[0];
        toChild_ = down[1];
    }
    ~ChildProcess()
    {
        Finish();
        close(fromChild_);
    }
    std::string ReadLine()
    {
        std::string line;
        char c;
        while (read(fromChild_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    // Tells the child to end and waits for it.
    void Finish()
    {
        if (toChild_ >= 0) {
            close(toChild_);
            toChild_ = -1;
        }
        if (pid_ > 0) {
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int fromChild_ = -1;
    int toChild_ = -1;
};

void WaitForEof(int fd)
{
    char c;
    while (read(fd, &c, 1) > 0) {
    }
}

TEST(DispatcherOpen, ADeviceHeldByAnotherProcessIsInUse)
{
    PtyPair pty;
    ChildProcess holder([&](int up, int down) {
        const int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
        const bool locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        (void)!write(up, locked ? "locked\n" : "failed\n", 7);
        WaitForEof(down);
    });
    ASSERT_EQ(holder.ReadLine(), "locked");
    TVeltPosixDispatcher d;
    EXPECT_EQ(ActivateDefault(d, pty.path), ecAccessDenied);
    holder.Finish();
    EXPECT_EQ(ActivateDefault(d, pty.path), ecOK);
    // And held by this process's own open dispatcher.
    TVeltPosixDispatcher second;
    EXPECT_EQ(ActivateDefault(second, pty.path), ecAccessDenied);
}

TEST(DispatcherOpen, WhatIsNoDeviceGivesNoSuchDevice)
{
    TVeltPosixDispatcher d;
    EXPECT_EQ(ActivateDefault(d, "/nonexistent/ttyX"), ecFileNotFound);
    EXPECT_EQ(ActivateDefault(d, "/dev/ttyQuorvelMissing"), ecFileNotFound);
    EXPECT_EQ(ActivateDefault(d, "/dev/null"), ecFileNotFound);  // a device, but no serial line
    char file[] = "/tmp/quorvel-notadevice-XXXXXX";
    const int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(ActivateDefault(d, file), ecFileNotFound);
    unlink(file);
}

TEST(DispatcherOpen, UnsupportedLineSettingsAreErrors)
{
    PtyPair pty;
    TVeltPosixDispatcher d;
    EXPECT_EQ(d.Activate(pty.path, 12345, 2, 8, 1, 4096, 4096, true, true), ecBaudRate);
    EXPECT_EQ(d.Activate(pty.path, 19200, 2, 4, 1, 4096, 4096, true, true), ecByteSize);
    // The PROFIBUS rates without a termios constant are set through termios2.
    EXPECT_EQ(d.Activate(pty.path, 93750, 2, 8, 1, 4096, 4096, true, true), ecOK);
    EXPECT_EQ(d.ControlBlock().BaudRate, 93750u);
}

TEST(DispatcherOpen, AFailedActivateLeavesNoThreadAndNoDescriptor)
{
    PtyPair pty;
    const int fds = DescriptorCount();
    const int threads = ThreadCount();
    {
        TVeltPosixDispatcher holder;
        ASSERT_EQ(ActivateDefault(holder, pty.path), ecOK);
        const int heldFds = DescriptorCount();
        TVeltPosixDispatcher d;
        EXPECT_EQ(ActivateDefault(d, "/nonexistent"), ecFileNotFound);
        EXPECT_EQ(ActivateDefault(d, "/dev/null"), ecFileNotFound);
        EXPECT_EQ(ActivateDefault(d, pty.path), ecAccessDenied);
        EXPECT_EQ(DescriptorCount(), heldFds);
        EXPECT_EQ(d.RunningThreads(), 0);
        EXPECT_FALSE(d.ThreadsActive());
    }
    {
        TVeltPosixDispatcher d;
        EXPECT_EQ(d.Activate(pty.path, 12345, 2, 8, 1, 4096, 4096, true, true), ecBaudRate);
        EXPECT_EQ(DescriptorCount(), fds);
        EXPECT_EQ(ThreadCountSettlingAt(threads), threads);
    }
    EXPECT_EQ(DescriptorCount(), fds);
    EXPECT_EQ(ThreadCountSettlingAt(threads), threads);
}

TEST(DispatcherOpen, ActivateAndDeactivateRunAndEndThreeThreads)
{
    PtyPair pty;
    const int fds = DescriptorCount();
    const int threads = ThreadCount();
    TVeltPosixDispatcher d;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(ActivateDefault(d, pty.path), ecOK);
        EXPECT_TRUE(d.ThreadsActive());
        EXPECT_EQ(d.RunningThreads(), 3);
        EXPECT_EQ(ThreadCountSettlingAt(threads + 3), threads + 3);
        d.Deactivate();
        EXPECT_FALSE(d.ThreadsActive());
        EXPECT_EQ(ThreadCountSettlingAt(threads), threads);
        EXPECT_EQ(DescriptorCount(), fds);
    }
    d.Deactivate();  // twice is harmless
}

TEST(DispatcherRegistryTest, HandlesAreSlotsThatAreReused)
{
    auto a = std::make_unique<TVeltPosixDispatcher>();
    auto b = std::make_unique<TVeltPosixDispatcher>();
    const int handleA = a->Handle();
    EXPECT_NE(handleA, b->Handle());
    a.reset();
    TVeltBaseDispatcher* found = b.get();
    DispatcherRegistry::With(handleA, [&](TVeltBaseDispatcher* d) { found = d; });
    EXPECT_EQ(found, nullptr);
    TVeltPosixDispatcher c;
    EXPECT_EQ(c.Handle(), handleA);
    DispatcherRegistry::With(c.Handle(), [&](TVeltBaseDispatcher* d) { found = d; });
    EXPECT_EQ(found, &c);
}

using DispatcherClose = DispatcherOnPty;

TEST_F(DispatcherClose, DeactivateAbandonsAWriteTheFarSideDoesNotTake)
{
    // The far side does not read: the device fills and the output thread blocks.
    std::size_t queued = 0;
    for (unsigned i = 0; d->OutputUsed() < 2000 && i < 2000; ++i) {
        const auto block = Pattern(500, i);
        if (d->QueueBlock(block.data(), block.size()) == ecOK) queued += block.size();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(d->OutputUsed(), 2000u);
    const std::uint32_t unsent = d->OutputUsed();
    EXPECT_LT(ElapsedMs([&] { d->Deactivate(); }), 2000);
    EXPECT_FALSE(d->ThreadsActive());
    // What the device had taken may still arrive; the unsent rest never does.
    const auto arrived = ReadFor(pty.master, queued, 300);
    EXPECT_LE(arrived.size(), queued - unsent);
    ASSERT_EQ(ActivateDefault(*d, pty.path), ecOK);
    EXPECT_EQ(d->OutputUsed(), 0u);
    EXPECT_EQ(ReadFor(pty.master, 1, 200).size(), 0u);
}

// After the far side has gone: no crash, no spinning thread, still closable (whatever calls answer).
void ExpectQuietAndClosable(TVeltBaseDispatcher& d)
{
    ASSERT_TRUE(WaitUntil([&] { return d.DeviceGone(); }, 2000ms));
    const double before = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(ProcessCpuMs() - before, 60.0) << "a thread spins on the gone device";
    const std::uint8_t telegram[] = {0x10, 0x03, 0x00, 0x49, 0x4C, 0x16};
    (void)d.QueueBlock(telegram, sizeof telegram);
    std::uint8_t b;
    EXPECT_EQ(d.TakeInput(b), ecBufferIsEmpty);
    (void)d.SetDtrLine(true);
    EXPECT_LT(ElapsedMs([&] { d.Deactivate(); }), 2000);
    EXPECT_EQ(d.RunningThreads(), 0);
}

TEST_F(DispatcherClose, TheFarSideClosingItsDescriptorIsNoticed)
{
    EXPECT_FALSE(d->DeviceGone());
    pty.CloseMaster();
    ExpectQuietAndClosable(*d);
}

TEST_F(DispatcherClose, AWriteBlockedWhenTheFarSideGoesEnds)
{
    for (unsigned i = 0; d->OutputUsed() < 1000 && i < 2000; ++i) {
        const auto block = Pattern(500, i);
        (void)d->QueueBlock(block.data(), block.size());  // refused once full: the loop only needs a backlog
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pty.CloseMaster();
    ExpectQuietAndClosable(*d);
}

TEST(DispatcherFarSide, TheFarSideProcessEndingIsNoticed)
{
    ChildProcess farSide([](int up, int down) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) _exit(1);
        const std::string line = std::string(ptsname(master)) + "\n";
        (void)!write(up, line.data(), line.size());
        char c;
        while (read(down, &c, 1) == 1) (void)!write(master, &c, 1);  // relays bytes until told to end
    });
    const std::string path = farSide.ReadLine();
    ASSERT_FALSE(path.empty());
    TVeltPosixDispatcher d;
    ASSERT_EQ(ActivateDefault(d, path), ecOK);
    farSide.Finish();  // the process ends and its pseudo-terminal side closes
    ExpectQuietAndClosable(d);
}

}  // namespace
