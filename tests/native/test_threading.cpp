#include "core/threading.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
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
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

const auto Pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
const auto StateOf = [](int i) { return GetSlot(i)->state.load(); };

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
    void Cancel() override {}
    void OnSuccess() override { ++successes; }
    void OnFailure() override { ++failures; }
    void Open()
    {
        std::lock_guard<std::mutex> lock(m_);
        open_ = true;
        cv_.notify_all();
    }

    std::atomic<ThreadSlot*> seenSlot{nullptr};
    std::atomic<int> started{0}, finished{0}, successes{0}, failures{0};

  private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_, result_;
};
} // namespace

TEST(ThreadPool, CreatesOneIdleSlotAndDestroyFreesItOnce)
{
    ReportCapture reports;
    CreateThreadPool();
    ASSERT_EQ(SlotCount(), 1);
    ThreadSlot* slot = GetSlot(0);
    EXPECT_EQ(GetSlot(1), nullptr);
    EXPECT_EQ(slot->state.load(), kSlotWaiting);
    EXPECT_EQ(slot->thread, nullptr);
    ASSERT_TRUE(slot->startEvent && slot->startEvent->Valid());
    DestroyThreadPool();
    EXPECT_EQ(SlotCount(), 0);
    EXPECT_EQ(GetSlot(0), nullptr);
    DestroyThreadPool(); // no slots left to shut down: reported, once
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
        EXPECT_EQ((std::array<int, 2>{job.successes, job.failures}),
                  (std::array<int, 2>{result ? 3 : 0, result ? 0 : 3}));
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
