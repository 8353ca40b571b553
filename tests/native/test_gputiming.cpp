// The timing ring's bookkeeping over a scripted query source.
#include "core/props.h"
#include "render/device/gpuquery.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace miResources;

namespace
{
// Each query is an id; a timestamp takes the GPU clock's value once the GPU reaches it.
class FakeSource final : public GpuQuerySource
{
  public:
    bool CreateQueries(QuerySet& set) override
    {
        set.eventQuery = Next();
        set.startQuery = Next();
        set.endQuery = Next();
        ++created;
        return true;
    }
    void ReleaseQueries(QuerySet&) override { ++released; }
    void Timestamp(void* q) override
    {
        stamps[q] = gpuTicks;
        order.push_back(q);
    }
    Result ReadTimestamp(void* q, uint64_t& ticks) override
    {
        ++reads;
        auto it = stamps.find(q);
        if (it == stamps.end()) return kFailed;
        // Not finished yet: a number of polls before the answer comes.
        if (notReadyPolls > 0)
        {
            --notReadyPolls;
            ++spins;
            return kNotReady;
        }
        ticks = it->second;
        return kReady;
    }
    double MeasureFrequency() override { return 1000.0; } // 1 tick = 1 ms

    void* Next() { return reinterpret_cast<void*>(++nextId); }
    uintptr_t nextId = 0;
    uint64_t gpuTicks = 0;
    std::map<void*, uint64_t> stamps;
    std::vector<void*> order;
    int created = 0, released = 0, reads = 0, spins = 0, notReadyPolls = 0;
};

double g_now = 0.0;
double FakeClock()
{
    return g_now;
}

// One frame lasting ms of GPU time; returns what the ring reads back.
float Frame(GpuQueryRing& ring, FakeSource& src, uint64_t ms)
{
    ring.BeginFrameQuery();
    src.gpuTicks += ms;
    ring.EndFrameQuery();
    return ring.ReadFrameQuery();
}

class GpuTiming : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        mirel::ClearProperties();
        ResetGpuTimingBroken();
        g_now = 0.0;
        ring.SetClock(FakeClock);
    }
    void TearDown() override { mirel::ClearProperties(); }
    FakeSource src;
    GpuQueryRing ring;
};
} // namespace

TEST_F(GpuTiming, DefaultRingReadsThePreviousFrame)
{
    ring.CreateRing(&src);
    EXPECT_EQ(ring.size, 2);
    EXPECT_EQ(src.created, 2);
    // The primed entry: start and end back to back.
    EXPECT_EQ(Frame(ring, src, 7), 0.0f);
    EXPECT_EQ(Frame(ring, src, 11), 7.0f);
    EXPECT_EQ(Frame(ring, src, 3), 11.0f);
    EXPECT_EQ(Frame(ring, src, 3), 3.0f);
    EXPECT_EQ(src.spins, 0);
    EXPECT_FALSE(GpuTimingBroken());
}

TEST_F(GpuTiming, SizeFromPropertyWrapsAndNeverReadsTheCurrentFrame)
{
    mirel::RegisterProperty(GpuQueryRing::kSizeProperty, mirel::kPropFloat);
    mirel::SetPropertyFloat(GpuQueryRing::kSizeProperty, 4.7f);
    ring.CreateRing(&src);
    ASSERT_EQ(ring.size, 4);
    std::vector<float> got;
    for (uint64_t ms = 1; ms <= 10; ++ms)
        got.push_back(Frame(ring, src, ms));
    // Three primed entries first, then each frame's time three frames later, around the ring.
    const std::vector<float> expected = {0, 0, 0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(got, expected);
    ring.ReleaseRing();
    EXPECT_EQ(src.released, 4);
}

TEST_F(GpuTiming, RingOfOneWaitsForItsOwnFrame)
{
    mirel::RegisterProperty(GpuQueryRing::kSizeProperty, mirel::kPropFloat);
    mirel::SetPropertyFloat(GpuQueryRing::kSizeProperty, 1.0f);
    ring.CreateRing(&src);
    EXPECT_TRUE(src.order.empty()); // no priming
    src.notReadyPolls = 3;
    EXPECT_EQ(Frame(ring, src, 9), 9.0f);
    EXPECT_EQ(src.spins, 3);
}

TEST_F(GpuTiming, ImplausibleTimeSetsBrokenForGoodAndIsStillReported)
{
    ring.CreateRing(&src);
    Frame(ring, src, 6000);
    EXPECT_FALSE(GpuTimingBroken());
    EXPECT_EQ(Frame(ring, src, 5), 6000.0f);
    EXPECT_TRUE(GpuTimingBroken());
    EXPECT_EQ(Frame(ring, src, 5), 5.0f);
    EXPECT_TRUE(GpuTimingBroken());
    ring.CreateRing(&src);
    EXPECT_TRUE(GpuTimingBroken());
}

TEST_F(GpuTiming, FrameWithoutStartIsNotReadAndAverageWaitsForASecond)
{
    ring.CreateRing(&src);
    // A frame whose start was not issued (the request flags came on between begin and end).
    ring.EndFrameQuery();
    EXPECT_EQ(ring.writeIndex, 1);
    for (int i = 0; i < 4; ++i)
    {
        g_now += 0.3;
        Frame(ring, src, 10);
        if (i < 3)
        {
            EXPECT_EQ(ring.averageMs, 0.0f);
        }
    }
    // Samples 0 (primed), 10, 10, 10 over the first 1.2 s.
    EXPECT_FLOAT_EQ(ring.averageMs, 7.5f);
    g_now += 0.3;
    Frame(ring, src, 10);
    EXPECT_FLOAT_EQ(ring.averageMs, 7.5f);
}

TEST_F(GpuTiming, FailedReadDoesNotSpin)
{
    ring.CreateRing(&src);
    src.stamps.clear(); // results lost, as on a removed device
    EXPECT_EQ(Frame(ring, src, 5), 0.0f);
    EXPECT_LE(src.reads, 2);
}
