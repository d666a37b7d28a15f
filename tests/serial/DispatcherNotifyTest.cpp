// Notifications: handlers reading in avail mode while the main thread reads
// too, the notification window stand-in, a close from inside a handler, and
// the event objects the threads wait on.
#include "DispatcherTestSupport.h"
#include "VeltNotify.h"

#include <array>
#include <atomic>

using namespace dispatchtest;

namespace {

constexpr std::size_t Rounds = 20;  // each byte value is sent this often
constexpr std::size_t Total = 256 * Rounds;

// Far side: bytes 0, 1, ..., 255, 0, 1, ... in small bursts.
void SendCounting(int master)
{
    std::vector<std::uint8_t> bytes(Total);
    for (std::size_t i = 0; i < Total; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    for (std::size_t at = 0; at < Total; at += 64) {
        WriteAll(master, bytes.data() + at, std::min<std::size_t>(64, Total - at));
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
}

// Every byte value arrived exactly `Rounds` times across all readers.
void ExpectEachByteOnce(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    std::array<std::size_t, 256> seen{};
    for (auto x : a) ++seen[x];
    for (auto x : b) ++seen[x];
    EXPECT_EQ(a.size() + b.size(), Total);
    for (int v = 0; v < 256; ++v) ASSERT_EQ(seen[v], Rounds) << "byte value " << v;
}

// Main thread: takes bytes until `delivered` (counting everyone's reads)
// reaches Total; `idle` runs between reads.
std::vector<std::uint8_t> MainReads(TVeltBaseDispatcher& d, std::atomic<std::size_t>& delivered,
                                    const std::function<void()>& idle)
{
    std::vector<std::uint8_t> got;
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (delivered.load() < Total && Clock::now() < end) {
        std::uint8_t b;
        for (int i = 0; i < 4 && d.TakeInput(b) == ecOK; ++i) {
            got.push_back(b);
            ++delivered;
        }
        idle();
        std::this_thread::sleep_for(std::chrono::microseconds(150));
    }
    return got;
}

// The far side sends while the main thread reads beside the handler; then the
// input is all taken and the dispatcher is deactivated (its handler is done).
std::vector<std::uint8_t> SendAndReadBesideTheHandler(TVeltBaseDispatcher& d, int master,
                                                      std::atomic<std::size_t>& delivered)
{
    std::thread farSide([&] { SendCounting(master); });
    auto mainGot = MainReads(d, delivered, [] {});
    farSide.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(d.HasInput());
    d.Deactivate();
    return mainGot;
}

using DispatcherNotify = DispatcherOnPty;

TEST_F(DispatcherNotify, AHandlerAndTheMainThreadNeverGetTheSameByte)
{
    std::vector<std::uint8_t> handlerGot;  // only the dispatch thread touches it
    std::atomic<std::size_t> delivered{0};
    std::atomic<int> notifications{0};
    d->SetAvailThreshold(1);
    d->AddNotifyProc([&](unsigned message, unsigned, unsigned count) {
        if (message != vmAvail || count == 0) return;
        ++notifications;
        // Reads in the handler are tentative until it returns; the main
        // thread reads meanwhile.
        for (int i = 0; i < 3; ++i) {
            std::uint8_t b;
            if (d->TakeInput(b) != ecOK) break;
            handlerGot.push_back(b);
            ++delivered;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const auto mainGot = SendAndReadBesideTheHandler(*d, pty.master, delivered);
    EXPECT_GT(notifications.load(), 0);
    EXPECT_GT(handlerGot.size(), 0u);
    EXPECT_GT(mainGot.size(), 0u);
    ExpectEachByteOnce(handlerGot, mainGot);
}

TEST_F(DispatcherNotify, BlockReadsInAHandlerShareTheInputWithTheMainThread)
{
    std::vector<std::uint8_t> handlerGot;  // only the dispatch thread touches it
    std::atomic<std::size_t> delivered{0};
    d->SetAvailThreshold(1);
    d->AddNotifyProc([&](unsigned message, unsigned, unsigned) {
        if (message != vmAvail) return;
        std::uint8_t block[3];
        for (int i = 0; i < 2; ++i) {
            const std::size_t n = d->TakeInputBlock(block, sizeof block);
            handlerGot.insert(handlerGot.end(), block, block + n);
            delivered += n;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const auto mainGot = SendAndReadBesideTheHandler(*d, pty.master, delivered);
    EXPECT_GT(handlerGot.size(), 0u);
    ExpectEachByteOnce(handlerGot, mainGot);
}

TEST_F(DispatcherNotify, AWindowHandlerRunsOnTheOwnerThreadInAvailMode)
{
    std::vector<std::uint8_t> windowGot;
    std::atomic<std::size_t> delivered{0};
    const auto ownerThread = std::this_thread::get_id();
    TVeltNotifyWindow window([&](unsigned message, std::uintptr_t count, std::intptr_t lParam) {
        EXPECT_EQ(std::this_thread::get_id(), ownerThread);
        EXPECT_EQ(message, vmAvail);
        EXPECT_EQ(lParam >> 16, d->Handle());
        EXPECT_LE(d->InputCount(), count);
        for (int i = 0; i < 2; ++i) {
            std::uint8_t b;
            if (d->TakeInput(b) != ecOK) break;
            windowGot.push_back(b);
            ++delivered;
        }
    });
    d->SetAvailThreshold(1);
    d->AddNotifyWindow(&window);
    d->SetHandlerUse(1);  // the component's own handler wants notifications
    std::thread farSide([&] { SendCounting(pty.master); });
    // Reads outside the window procedure consume for real, also while a
    // notification waits for this thread.
    const auto mainGot = MainReads(*d, delivered, [&] { window.ProcessMessages(1); });
    farSide.join();
    d->RemoveNotifyWindow(&window);
    d->Deactivate();
    window.ProcessMessages();
    EXPECT_GT(windowGot.size(), 0u);
    ExpectEachByteOnce(windowGot, mainGot);
}

TEST_F(DispatcherNotify, DeactivateInsideAHandlerIsFinishedByTheDispatchThread)
{
    std::atomic<bool> called{false};
    d->SetAvailThreshold(1);
    d->AddNotifyProc([&](unsigned, unsigned, unsigned) {
        if (called.exchange(true)) return;
        d->Deactivate();
        EXPECT_TRUE(d->ClosePending());
    });
    const std::uint8_t byte = 0x55;
    ASSERT_TRUE(WriteAll(pty.master, &byte, 1));
    ASSERT_TRUE(WaitUntil([&] { return called.load() && d->RunningThreads() == 0; }));
    EXPECT_FALSE(d->ThreadsActive());
    d.reset();
    // The device is free again.
    TVeltPosixDispatcher again;
    EXPECT_EQ(ActivateDefault(again, pty.path), ecOK);
}

// A close from the owner thread while a notification waits for it returns at
// once, and the late call never reaches a dispatcher that took the same slot.
TEST_F(DispatcherNotify, CloseWhileAWindowNotificationWaitsDoesNotWaitForIt)
{
    std::atomic<int> calls{0};
    TVeltNotifyWindow window([&](unsigned, std::uintptr_t, std::intptr_t) { ++calls; });
    d->SetAvailThreshold(1);
    d->AddNotifyWindow(&window);
    d->SetHandlerUse(1);
    const std::uint8_t byte = 0x55;
    ASSERT_TRUE(WriteAll(pty.master, &byte, 1));
    ASSERT_TRUE(WaitUntil([&] { return window.HasPending(); }));
    const int slot = d->Handle();
    const auto start = Clock::now();
    d->Deactivate();
    d.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    TVeltPosixDispatcher again;
    ASSERT_EQ(again.Handle(), slot);
    ASSERT_EQ(ActivateDefault(again, pty.path), ecOK);
    window.ProcessMessages();
    EXPECT_EQ(calls.load(), 0);
}

TEST(NotifyWindow, CallsRunOnTheOwnerThreadInOrder)
{
    std::vector<int> ran;
    TVeltNotifyWindow window([&](unsigned message, std::uintptr_t, std::intptr_t) { ran.push_back(int(message)); });
    int queued = 0;
    window.SetOnQueued([&] { ++queued; });
    window.Post(1, 0, 0);
    window.PostCall([&] { ran.push_back(2); });
    EXPECT_EQ(queued, 2);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(window.ProcessMessages(1), 1u);
    EXPECT_EQ(window.ProcessMessages(), 1u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_FALSE(window.HasPending());
}

TEST(NotifyWindow, SendCallWaitsForTheOwnerOrTimesOut)
{
    TVeltNotifyWindow window;
    std::atomic<int> runs{0};
    bool handled = true;
    std::thread sender([&] { handled = window.SendCall([&] { ++runs; }, 50); });
    sender.join();
    EXPECT_FALSE(handled);                    // nobody drained the queue
    EXPECT_EQ(window.ProcessMessages(), 1u);  // it still runs later
    EXPECT_EQ(runs.load(), 1);

    std::thread second([&] { handled = window.SendCall([&] { ++runs; }, 5000); });
    ASSERT_TRUE(WaitUntil([&] { return window.HasPending(); }));
    window.ProcessMessages();
    second.join();
    EXPECT_TRUE(handled);
    EXPECT_EQ(runs.load(), 2);
}

TEST(VeltEvent, AutoResetReleasesOnceManualResetStaysSet)
{
    TVeltEvent autoEvent(TVeltEvent::Reset::Auto);
    TVeltEvent manual(TVeltEvent::Reset::Manual);
    EXPECT_FALSE(autoEvent.Wait(0));
    autoEvent.Set();
    autoEvent.Set();
    EXPECT_TRUE(autoEvent.Wait(0));
    EXPECT_FALSE(autoEvent.Wait(0));
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    manual.ResetEvent();
    EXPECT_FALSE(manual.Wait(0));

    EXPECT_EQ(TVeltEvent::WaitAny({&autoEvent, &manual}, 10), -1);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        manual.Set();
    });
    EXPECT_EQ(TVeltEvent::WaitAny({&autoEvent, &manual}, 5000), 1);
    setter.join();
}

}  // namespace
