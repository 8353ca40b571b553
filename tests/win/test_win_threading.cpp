// The Win32 side of the thread pool and the critical section, run under Wine.
#include "core/sys.h"
#include "core/threading.h"
#include "core/utils.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <thread>

using namespace miThreads;

namespace
{
bool WaitUntil(bool (*condition)(void*), void* arg)
{
    for (int i = 0; i < 10000; ++i)
    {
        if (condition(arg)) return true;
        Sleep(1);
    }
    return false;
}

// Each run blocks on a manual-reset gate event, so opening it lets every later run through.
class GateJob : public Job
{
  public:
    GateJob() : gate_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~GateJob() override { CloseHandle(gate_); }
    bool Execute(ThreadSlot*) override
    {
        ++started;
        WaitForSingleObject(gate_, INFINITE);
        ++finished;
        return true;
    }
    void Cancel() override {}
    void OnSuccess() override { ++successes; }
    void OnFailure() override {}
    void Open() { SetEvent(gate_); }

    std::atomic<int> started{0}, finished{0}, successes{0};

  private:
    HANDLE gate_;
};

bool SlotRunning(void*)
{
    return GetSlot(0)->state.load() == kSlotRunning;
}
bool SlotWaiting(void*)
{
    return GetSlot(0)->state.load() == kSlotWaiting;
}
bool FinishedTwice(void* job)
{
    return static_cast<GateJob*>(job)->finished == 2 && SlotWaiting(nullptr);
}
bool SucceededOnce(void* job)
{
    return static_cast<GateJob*>(job)->successes == 1 && !SlotRunning(nullptr);
}
} // namespace

TEST(WinThreadPool, NamedEventAndRealThread)
{
    CreateThreadPool();
    // Two underscores: the prefix ends in one and the format adds another.
    HANDLE named = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, L"Mirel_ThreadPoolSem__0");
    ASSERT_NE(named, nullptr);
    GateJob job;
    job.Open();
    StartWorker(GetSlot(0), &job);
    HANDLE thread = static_cast<HANDLE>(GetSlot(0)->thread);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(GetThreadId(thread), static_cast<DWORD>(GetSlot(0)->threadId));
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // Signalling through the name reaches the same kernel object.
    SetEvent(named);
    EXPECT_TRUE(WaitUntil(SucceededOnce, &job));
    CloseHandle(named);
    DestroyThreadPool();
    EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, L"Mirel_ThreadPoolSem__0"), nullptr);
    EXPECT_EQ(job.started.load(), 1);
}

TEST(WinThreadPool, SignalsWhileRunningCollapseIntoOneFurtherRun)
{
    CreateThreadPool();
    GateJob job;
    StartWorker(GetSlot(0), &job);
    SignalAll();
    ASSERT_TRUE(WaitUntil(SlotRunning, nullptr));
    SignalAll();
    SignalAll();
    Sleep(20);
    job.Open();
    ASSERT_TRUE(WaitUntil(FinishedTwice, &job));
    Sleep(100);
    EXPECT_EQ(job.started.load(), 2);
    DestroyThreadPool();
}

TEST(WinThreadPool, ShutdownWaitsForTheRunningJob)
{
    CreateThreadPool();
    GateJob job;
    StartWorker(GetSlot(0), &job);
    SignalAll();
    ASSERT_TRUE(WaitUntil(SlotRunning, nullptr));
    std::atomic<int> successesAtReturn{-1};
    std::thread shutdown(
        [&]
        {
            DestroyThreadPool();
            successesAtReturn = job.successes.load();
        });
    Sleep(50);
    EXPECT_EQ(successesAtReturn.load(), -1);
    job.Open();
    shutdown.join();
    EXPECT_EQ(successesAtReturn.load(), 1);
    EXPECT_EQ(SlotCount(), 0);
}

TEST(WinCriticalSection, RecursiveEntryHoldsOffOtherThreadsUntilFullyLeft)
{
    mirel::sys::CriticalSection cs;
    std::atomic<bool> acquired{false};
    cs.Enter();
    cs.Enter();
    std::thread other(
        [&]
        {
            cs.Enter();
            acquired = true;
            cs.Leave();
        });
    Sleep(30);
    EXPECT_FALSE(acquired.load());
    cs.Leave();
    Sleep(30);
    EXPECT_FALSE(acquired.load()) << "one Leave released a lock entered twice";
    cs.Leave();
    other.join();
    EXPECT_TRUE(acquired.load());
}
