#include "core/threading.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using namespace miThreads;
using mirel::test::ReportCapture;

namespace
{
bool WaitUntil(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void Pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Each run blocks until the gate is opened (once open it stays open).
class GateJob : public Job
{
  public:
    explicit GateJob(bool gateOpen, bool result = true) : open_(gateOpen), result_(result) {}
    bool Execute(ThreadSlot* s) override
    {
        seenSlot = s;
        ++started;
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return open_; });
        ++finished;
        return result_;
    }
    void Cancel() override { ++cancels; }
    void OnSuccess() override { ++successes; }
    void OnFailure() override { ++failures; }
    void Open()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            open_ = true;
        }
        cv_.notify_all();
    }

    std::atomic<ThreadSlot*> seenSlot{nullptr};
    std::atomic<int> started{0}, finished{0}, successes{0}, failures{0}, cancels{0};

  private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_;
    bool result_;
};

int32_t StateOf(int i)
{
    return GetSlot(i)->state.load();
}
} // namespace

TEST(ThreadPool, CreatesOneIdleSlotAndDestroyFreesItOnce)
{
    ReportCapture reports;
    CreateThreadPool();
    ASSERT_EQ(SlotCount(), 1);
    ThreadSlot* slot = GetSlot(0);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(GetSlot(1), nullptr);
    EXPECT_EQ(slot->state.load(), kSlotWaiting);
    EXPECT_EQ(slot->thread, nullptr);
    ASSERT_NE(slot->startEvent, nullptr);
    EXPECT_TRUE(slot->startEvent->Valid());
    DestroyThreadPool();
    EXPECT_EQ(SlotCount(), 0);
    EXPECT_EQ(GetSlot(0), nullptr);
    EXPECT_EQ(reports.Count(), 0);
    DestroyThreadPool(); // no slots left to shut down
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_EQ(reports.Last(), "\n\nfile: core/threading, line: 130 \n\nBad thread slot");
}

TEST(ThreadPool, EachSignalRunsTheJobOnceAndRoutesItsResult)
{
    for (bool result : {true, false})
    {
        CreateThreadPool();
        ThreadSlot* slot = GetSlot(0);
        GateJob job(true, result);
        StartWorker(slot, &job);
        EXPECT_EQ(job.slot, slot);
        Pause(20);
        EXPECT_EQ(job.started.load(), 0) << "ran without a signal";
        for (int run = 1; run <= 3; ++run)
        {
            SignalAll();
            ASSERT_TRUE(
                WaitUntil([&] { return job.successes + job.failures == run && StateOf(0) != kSlotRunning; }));
        }
        EXPECT_EQ(job.seenSlot.load(), slot);
        EXPECT_EQ(slot->job, &job); // ordered by the counters the worker wrote after it
        EXPECT_EQ(job.successes.load(), result ? 3 : 0);
        EXPECT_EQ(job.failures.load(), result ? 0 : 3);
        EXPECT_EQ(job.cancels.load(), 0);
        DestroyThreadPool();
        EXPECT_EQ(job.started.load(), 3);
    }
}

TEST(ThreadPool, SignalsWhileRunningCollapseIntoOneFurtherRun)
{
    CreateThreadPool();
    GateJob job(false);
    StartWorker(GetSlot(0), &job);
    SignalAll();
    ASSERT_TRUE(WaitUntil([&] { return job.started == 1 && StateOf(0) == kSlotRunning; }));
    SignalAll();
    SignalAll();
    Pause(20);
    job.Open();
    ASSERT_TRUE(WaitUntil([&] { return job.finished == 2 && StateOf(0) == kSlotWaiting; }));
    Pause(100);
    EXPECT_EQ(job.started.load(), 2);
    EXPECT_EQ(StateOf(0), kSlotWaiting);
    DestroyThreadPool();
}

TEST(ThreadPool, ShutdownWaitsForTheRunningJob)
{
    CreateThreadPool();
    GateJob job(false);
    StartWorker(GetSlot(0), &job);
    SignalAll();
    ASSERT_TRUE(WaitUntil([&] { return StateOf(0) == kSlotRunning; }));

    std::atomic<bool> returned{false};
    std::atomic<int> finishedAtReturn{-1};
    std::thread shutdown(
        [&]
        {
            DestroyThreadPool();
            finishedAtReturn = job.successes.load();
            returned = true;
        });
    Pause(50);
    EXPECT_FALSE(returned.load());
    job.Open();
    shutdown.join();
    EXPECT_EQ(finishedAtReturn.load(), 1);
    EXPECT_EQ(job.started.load(), 1);
    EXPECT_EQ(SlotCount(), 0);
}
