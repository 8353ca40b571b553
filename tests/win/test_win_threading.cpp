// The Win32 side of the thread pool and the critical section, run under Wine (the pool's logic is
// shared with the native build and tested there).
#include "core/sys.h"
#include "core/threading.h"

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
    mirel::sys::CriticalSection cs;
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
