// The timing ring's bookkeeping over a scripted query source.
#include "core/props.h"
#include "render/device/gpuquery.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <vector>

using namespace miResources;

namespace
{

// Each query is an id; a timestamp takes the GPU clock's value once the GPU reaches it.
struct FakeSource final : GpuQuerySource
{
    bool CreateQueries(QuerySet& set) override
    {
        for (void** q : {&set.eventQuery, &set.startQuery, &set.endQuery})
            *q = reinterpret_cast<void*>(++nextId);
        return ++created > 0;
    }
    void ReleaseQueries(QuerySet&) override { ++released; }
    void Timestamp(void* q) override { stamps[q] = gpuTicks; }
    Result ReadTimestamp(void* q, uint64_t& ticks) override
    {
        ++reads;
        auto it = stamps.find(q);
        if (it == stamps.end()) return kFailed;
        // Not finished yet: a number of polls before the answer comes.
        if (notReadyPolls > 0) return --notReadyPolls, ++spins, kNotReady;
        ticks = it->second;
        return kReady;
    }
    double MeasureFrequency() override { return 1000.0; } // 1 tick = 1 ms
    uintptr_t nextId = 0;
    uint64_t gpuTicks = 0;
    std::map<void*, uint64_t> stamps;
    int created = 0, released = 0, reads = 0, spins = 0, notReadyPolls = 0;
};

double g_now = 0.0;

struct GpuTiming : ::testing::Test
{
    void SetUp() override
    {
        mirel::ClearProperties();
        ResetGpuTimingBroken();
        g_now = 0.0;
        ring.SetClock([] { return g_now; });
    }
    // One frame lasting ms of GPU time; returns what the ring reads back.
    float Frame(uint64_t ms)
    {
        ring.BeginFrameQuery();
        src.gpuTicks += ms;
        ring.EndFrameQuery();
        return ring.ReadFrameQuery();
    }
    FakeSource src;
    GpuQueryRing ring;
};

TEST_F(GpuTiming, RingReadsTheFrameItsSizeLaterAndNeverTheCurrentOne)
{
    // The size property (NaN: not set), the ring size, the frames' times, what is read back, the
    // polls before each answer.
    const std::tuple<float, int32_t, std::vector<uint64_t>, std::vector<float>, int> cases[] = {
        // The primed entries (start and end back to back) read 0 first.
        {NAN, 2, {7, 11, 3, 3}, {0, 7, 11, 3}, 0},
        {4.7f, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {0, 0, 0, 1, 2, 3, 4, 5, 6, 7}, 0},
        // No priming: the one entry waits for its own frame.
        {1.0f, 1, {9}, {9}, 3},
    };
    for (const auto& [property, size, frames, expected, polls] : cases)
    {
        mirel::ClearProperties();
        if (!std::isnan(property)) mirel::SetPropertyFloat(GpuQueryRing::kSizeProperty, property);
        src = FakeSource();
        ring.CreateRing(&src);
        ASSERT_EQ(ring.size, size);
        EXPECT_EQ(std::make_tuple(src.created, src.stamps.size()), std::make_tuple(size, 2u * (size - 1)));
        src.notReadyPolls = polls;
        std::vector<float> read;
        for (uint64_t ms : frames)
            read.push_back(Frame(ms));
        EXPECT_EQ(read, expected) << size;
        EXPECT_EQ(src.spins, polls) << size;
        ring.ReleaseRing();
        EXPECT_EQ(src.released, size);
    }
    EXPECT_FALSE(GpuTimingBroken());
}

TEST_F(GpuTiming, ImplausibleTimeBreaksTimingForGoodFailedReadsDoNotSpinUnstartedFramesAreNotRead)
{
    ring.CreateRing(&src);
    Frame(6000);
    EXPECT_FALSE(GpuTimingBroken());
    EXPECT_EQ(Frame(5), 6000.0f);
    EXPECT_TRUE(GpuTimingBroken());
    EXPECT_EQ(Frame(5), 5.0f);
    ring.CreateRing(&src);
    EXPECT_TRUE(GpuTimingBroken());
    // A failed read, as of results lost on a removed device, has no answer to wait for.
    src.stamps.clear();
    src.reads = 0;
    EXPECT_EQ(Frame(5), 0.0f);
    EXPECT_LE(src.reads, 2);
    ring.CreateRing(&src);
    // A frame whose start was not issued (the request flags came on between begin and end).
    ring.EndFrameQuery();
    EXPECT_EQ(ring.writeIndex, 1);
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(ring.averageMs, 0.0f) << i;
        g_now += 0.3;
        Frame(10);
    }
    // Samples 0 (primed), 10, 10, 10 over the first 1.2 s.
    EXPECT_FLOAT_EQ(ring.averageMs, 7.5f);
    g_now += 0.3;
    Frame(10);
    EXPECT_FLOAT_EQ(ring.averageMs, 7.5f);
}

} // namespace
