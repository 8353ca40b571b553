// The Win32 side of the core's events, thread pool and critical section, run under Wine (the
// pool's logic is shared with the native build and tested there). Reports, the program's folder,
// the asset root and config.ini beside the program are the whole-program Wine runs' (every run
// finds its assets and reads its config.ini, wine_startup_config compares the properties read, and
// the reports they expect come out without blocking).
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

using namespace mirel;
using namespace miThreads;

TEST(WinUtils, NamedAutoResetEvent)
{
    sys::AutoResetEvent ev(ToWide("Mirel_Test_Event"));
    ASSERT_TRUE(ev.Valid());
    EXPECT_FALSE(ev.WaitFor(0));
    ev.Set();
    ev.Set();
    EXPECT_TRUE(ev.WaitFor(0));
    EXPECT_FALSE(ev.WaitFor(0)); // two sets without a waiter wake once
}

namespace
{
class CountingJob : public Job
{
  public:
    bool Execute(ThreadSlot*) override { return ++started > 0; }
    void Cancel() override {}
    void OnSuccess() override { ++successes; }
    void OnFailure() override {}
    std::atomic<int> started{0}, successes{0};
};
} // namespace

TEST(WinThreadPool, NamedEventAndRealThread)
{
    // Two underscores: the prefix ends in one and the format adds another.
    const wchar_t* const kEvent = L"Mirel_ThreadPoolSem__0";
    CreateThreadPool();
    HANDLE named = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, kEvent);
    ASSERT_NE(named, nullptr);
    CountingJob job;
    StartWorker(GetSlot(0), &job);
    HANDLE thread = static_cast<HANDLE>(GetSlot(0)->thread);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(GetThreadId(thread), static_cast<DWORD>(GetSlot(0)->threadId));
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // Signalling through the name reaches the same kernel object.
    SetEvent(named);
    for (int ms = 0; job.successes != 1 || GetSlot(0)->state.load() == kSlotRunning; ++ms, Sleep(1))
        ASSERT_LT(ms, 10000) << "the job did not finish once";
    CloseHandle(named);
    DestroyThreadPool();
    EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, kEvent), nullptr);
    EXPECT_EQ(job.started.load(), 1);
}

TEST(WinCriticalSection, RecursiveEntryHoldsOffOtherThreadsUntilFullyLeft)
{
    sys::CriticalSection cs;
    std::atomic<bool> acquired{false};
    cs.Enter();
    cs.Enter();
    std::thread other([&] { cs.Enter(), acquired = true, cs.Leave(); });
    Sleep(30);
    EXPECT_FALSE(acquired.load());
    cs.Leave();
    Sleep(30);
    EXPECT_FALSE(acquired.load()) << "one Leave released a lock entered twice";
    cs.Leave();
    other.join();
    EXPECT_TRUE(acquired.load());
}
