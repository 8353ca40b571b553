// The statistics overlay's lines, positions and colours from given figures.
#include "detect.h"
#include "stats.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

using namespace miCadora;

namespace
{

std::vector<std::string> Lines(const mirel::TextList& list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.count; ++i)
        out.emplace_back(list.lines[i].text);
    return out;
}

bool ColourIs(const mirel::TextList& list, const float (&c)[4])
{
    for (int i = 0; i < list.count; ++i)
        for (int k = 0; k < 4; ++k)
            if (list.lines[i].colour[k] != c[k]) return false;
    return list.count > 0;
}

StatsInputs Typical()
{
    StatsInputs in;
    in.delta = 0.0166667f;
    in.fps = 50.0f;
    in.instantFps = 60.5f;
    in.averageFps = 59.25f;
    in.gpuFrameMs = 12.5f;
    in.gpuSecondMs = 16.75f;
    in.frameCounter = 123456789012ull;
    in.queryRingSize = 5;
    in.updateMs = 1.5f;
    in.presentMs = 0.25f;
    in.computeThreads = 4096;
    in.threadIncrement = 16;
    in.adapterName = "Test Adapter";
    in.videoMemoryMB = 2048;
    in.usedRefreshHz = 60;
    in.maxRefreshHz = 144;
    in.outputWidth = 1280;
    in.outputHeight = 720;
    in.desktopX = 1920.0f;
    in.desktopY = 1080.0f;
    return in;
}

} // namespace

TEST(Stats, SummaryLinesAndTheDisplaysAnswerForEachDetectionCase)
{
    DetectionRecord none, minOnly, both;
    minOnly.minRefreshMilliHz = both.minRefreshMilliHz = 48000;
    both.maxRefreshMilliHz = 144000;
    StatsInputs in = Typical();
    mirel::TextList list;
    BuildSummary(in, list);
    EXPECT_EQ(Lines(list),
              (std::vector<std::string>{
                  "                 Instant FPS :  60.5000", "Moving Average FPS :   59.25", " ",
                  "Korvo Cadora(TM) Compatible Display :  NO", " ", "GPU: Test Adapter",
                  "GPU Memory (MB): 2048", "Resolution: 1280 x 720", "Desktop Resolution: 1920 x 1080",
                  "Korvo Cadora(TM) Demo Build Version: 0.9.1"}));
    EXPECT_TRUE(ColourIs(list, kStatsWhite));
    for (const DetectionRecord* r : {&none, &minOnly, &both})
    {
        in.detection = r;
        BuildSummary(in, list);
        EXPECT_EQ(Lines(list)[3],
                  std::string("Korvo Cadora(TM) Compatible Display :  ") + (r == &both ? "YES" : "NO"));
    }
}

TEST(Stats, FigureLinesWhenStatisticsAreShown)
{
    StatsInputs in = Typical();
    in.showStats = true;
    mirel::TextList list;
    BuildSummary(in, list);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"CPU FPS :  20  -- 16.6667 ", "GPU MS :   12.50",
                                                     "GPU Frame Time (ms) :  16", "Frame #= 123456789012"}));
    EXPECT_TRUE(ColourIs(list, kStatsFiguresColour));
    // Before the first whole second there is no frame count to divide by.
    in.fps = 0.0f;
    BuildSummary(in, list);
    EXPECT_EQ(Lines(list)[0], "CPU FPS :  0  -- 16.6667 ");
}

// The rates shown follow the GPU timing when asked, double under the timing fault, and are
// clamped to 0 .. 2000 (NaN shows 0).
TEST(Stats, RatesFollowTheGpuTimingAndAreClampedForShow)
{
    const struct
    {
        bool useGpu, fault;
        float gpuFrameMs, gpuSecondMs, instantFps, averageFps;
        const char* shown; // instant | average
    } cases[] = {
        {false, false, 10.0f, 20.0f, 75.0f, 70.0f, "75.0000| 70.00"},
        {true, false, 10.0f, 20.0f, 75.0f, 70.0f, "100.0000| 50.00"},
        {true, false, 0.0f, 0.0f, 75.0f, 70.0f, "0.0000|  0.00"},
        {true, true, 10.0f, 20.0f, 75.0f, 70.0f, "200.0000|100.00"},
        {false, true, 0.0f, 0.0f, 1500.0f, 30.0f, "2000.0000| 60.00"},
        {false, false, 0.0f, 0.0f, -5.0f, NAN, "0.0000|  0.00"},
    };
    for (const auto& c : cases)
    {
        StatsInputs in = Typical();
        in.useGpuQuery = c.useGpu;
        in.gpuTimingFault = c.fault;
        in.gpuFrameMs = c.gpuFrameMs;
        in.gpuSecondMs = c.gpuSecondMs;
        in.instantFps = c.instantFps;
        in.averageFps = c.averageFps;
        mirel::TextList list;
        BuildSummary(in, list);
        const std::vector<std::string> lines = Lines(list);
        EXPECT_EQ(lines[0].substr(32) + "|" + lines[1].substr(22), c.shown);
    }
}

TEST(Stats, SummaryPositionFollowsTheOutputHeight)
{
    const int32_t w[] = {1280, 1920, 1920, 3840}, h[] = {720, 1079, 1080, 2160};
    const float x[] = {930.0f, 1570.0f, 10.0f, 10.0f}, y[] = {10.0f, 10.0f, 780.0f, 780.0f};
    for (bool stats : {false, true})
        for (int i = 0; i < 4; ++i)
        {
            StatsInputs in = Typical();
            in.showStats = stats;
            in.outputWidth = w[i];
            in.outputHeight = h[i];
            mirel::TextList list;
            BuildSummary(in, list);
            EXPECT_FLOAT_EQ(list.x, x[i]) << h[i];
            EXPECT_FLOAT_EQ(list.y, y[i]) << h[i];
        }
}

TEST(Stats, AbsentDesktopPropertiesShowZeroNotAnUndefinedConversion)
{
    StatsInputs in = Typical();
    in.desktopX = FLT_MAX;
    in.desktopY = 1599.9f;
    mirel::TextList list;
    BuildSummary(in, list);
    EXPECT_EQ(Lines(list)[8], "Desktop Resolution: 0 x 1599");
    const float v[] = {-7.9f, 2147483520.0f, 2147483648.0f, -INFINITY, NAN};
    const int32_t out[] = {-7, 2147483520, 0, 0, 0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(TruncateToInt(v[i]), out[i]) << v[i];
}

TEST(Stats, RedBlockLines)
{
    DetectionRecord both, maxOnly;
    both.minRefreshMilliHz = 48500;
    both.maxRefreshMilliHz = 144999;
    maxOnly.maxRefreshMilliHz = 144000;
    const int32_t history[] = {300, 120, 4096, 800};
    const struct
    {
        const DetectionRecord* record;
        int32_t historyCount;
        std::vector<std::string> middle; // between the refresh line and the version
    } cases[] = {
        {nullptr, 0, {}},
        {&both, 4, {"Min Threads: 120  -- Max Threads: 4096", "minRefresh: 48 -- maxRefresh: 144"}},
        {&maxOnly, 1, {"Min Threads: 300  -- Max Threads: 300"}},
    };
    for (const auto& c : cases)
    {
        StatsInputs in = Typical();
        in.showStats = true;
        in.gpuTimingFault = true;
        in.detection = c.record;
        in.threadHistory = history;
        in.threadHistoryCount = c.historyCount;
        mirel::TextList list;
        list.count = 3; // left from the previous frame
        BuildStatsBlock(in, list);
        std::vector<std::string> expected = {
            "Update: 1.500000  -- Present: 0.250000  -- Profile: 0.000000  --  Threads: 4096 -- "
            "Thread Increment: 16 -- bifrexActive: 1, ringBufferSize: 5",
            "Using Refresh Rate: 60 -- Max Refresh Rate: 144"};
        expected.insert(expected.end(), c.middle.begin(), c.middle.end());
        expected.insert(expected.end(), {" ", "Cadora Demo Build Version: 0.9.1"});
        EXPECT_EQ(Lines(list), expected) << c.historyCount;
        EXPECT_TRUE(ColourIs(list, kStatsRed)) << c.historyCount;
        EXPECT_FLOAT_EQ(list.x, 360.0f);
        EXPECT_FLOAT_EQ(list.y, 400.0f);
    }
    mirel::TextList list;
    BuildStatsBlock(Typical(), list);
    EXPECT_EQ(list.count, 0);
}

TEST(Stats, MenuLabelsSitBesideTheMenuOrigin)
{
    mirel::TextList lists[3];
    BuildMenuLabels(100.0f, 50.0f, 45.0f, lists);
    const char* texts[] = {"FPS", "45.000000", "Sweep"};
    const float xs[] = {420.0f, 700.0f, 420.0f}, ys[] = {70.0f, 70.0f, 110.0f};
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_EQ(lists[i].count, 1);
        EXPECT_STREQ(lists[i].lines[0].text, texts[i]);
        EXPECT_FLOAT_EQ(lists[i].x, xs[i]);
        EXPECT_FLOAT_EQ(lists[i].y, ys[i]);
        EXPECT_TRUE(ColourIs(lists[i], kStatsRed));
    }
}
