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

TEST(Stats, SummaryLinesForEachDetectionCase)
{
    DetectionRecord none, minOnly, both;
    minOnly.minRefreshMilliHz = 48000;
    both.minRefreshMilliHz = 48000;
    both.maxRefreshMilliHz = 144000;
    struct Case
    {
        const DetectionRecord* record;
        const char* answer;
    };
    const Case cases[] = {{nullptr, "NO"}, {&none, "NO"}, {&minOnly, "NO"}, {&both, "YES"}};
    for (const Case& c : cases)
    {
        StatsInputs in = Typical();
        in.detection = c.record;
        mirel::TextList list;
        BuildSummary(in, list);
        const std::vector<std::string> expected = {
            "                 Instant FPS :  60.5000",
            "Moving Average FPS :   59.25",
            " ",
            std::string("Korvo Cadora(TM) Compatible Display :  ") + c.answer,
            " ",
            "GPU: Test Adapter",
            "GPU Memory (MB): 2048",
            "Resolution: 1280 x 720",
            "Desktop Resolution: 1920 x 1080",
            "Korvo Cadora(TM) Demo Build Version: 0.9.1",
        };
        EXPECT_EQ(Lines(list), expected) << c.answer;
        EXPECT_TRUE(ColourIs(list, kStatsWhite));
    }
}

TEST(Stats, FigureLinesWhenStatisticsAreShown)
{
    StatsInputs in = Typical();
    in.showStats = true;
    mirel::TextList list;
    BuildSummary(in, list);
    const std::vector<std::string> expected = {
        "CPU FPS :  20  -- 16.6667 ",
        "GPU MS :   12.50",
        "GPU Frame Time (ms) :  16",
        "Frame #= 123456789012",
    };
    EXPECT_EQ(Lines(list), expected);
    EXPECT_TRUE(ColourIs(list, kStatsFiguresColour));

    // Before the first whole second there is no frame count to divide by.
    in.fps = 0.0f;
    BuildSummary(in, list);
    EXPECT_EQ(Lines(list)[0], "CPU FPS :  0  -- 16.6667 ");
}

TEST(Stats, RatesFollowTheGpuTimingAndAreClampedOnlyForShow)
{
    struct Case
    {
        const char* what;
        bool useGpu, fault;
        float gpuFrameMs, gpuSecondMs, instantFps, averageFps;
        float instant, average;   // ChooseRates
        const char* shownInstant; // the summary's first line
        const char* shownAverage;
    };
    const Case cases[] = {
        {"timer", false, false, 10.0f, 20.0f, 75.0f, 70.0f, 75.0f, 70.0f, "75.0000", " 70.00"},
        {"gpu", true, false, 10.0f, 20.0f, 75.0f, 70.0f, 100.0f, 50.0f, "100.0000", " 50.00"},
        {"gpu without a time", true, false, 0.0f, 0.0f, 75.0f, 70.0f, 0.0f, 0.0f, "0.0000", "  0.00"},
        {"fault doubles", true, true, 10.0f, 20.0f, 75.0f, 70.0f, 200.0f, 100.0f, "200.0000", "100.00"},
        {"fault doubles the timer", false, true, 0.0f, 0.0f, 1500.0f, 30.0f, 3000.0f, 60.0f, "2000.0000",
         " 60.00"},
        {"negative", false, false, 0.0f, 0.0f, -5.0f, NAN, -5.0f, NAN, "0.0000", "  0.00"},
    };
    for (const Case& c : cases)
    {
        StatsInputs in = Typical();
        in.useGpuQuery = c.useGpu;
        in.gpuTimingFault = c.fault;
        in.gpuFrameMs = c.gpuFrameMs;
        in.gpuSecondMs = c.gpuSecondMs;
        in.instantFps = c.instantFps;
        in.averageFps = c.averageFps;
        const StatsRates r = ChooseRates(in);
        EXPECT_NEAR(r.instant, c.instant, 1e-3f) << c.what;
        if (std::isnan(c.average))
            EXPECT_TRUE(std::isnan(r.average)) << c.what;
        else
            EXPECT_NEAR(r.average, c.average, 1e-3f) << c.what;
        mirel::TextList list;
        BuildSummary(in, list);
        EXPECT_EQ(Lines(list)[0], std::string("                 Instant FPS :  ") + c.shownInstant) << c.what;
        EXPECT_EQ(Lines(list)[1], std::string("Moving Average FPS :  ") + c.shownAverage) << c.what;
    }
}

TEST(Stats, SummaryPositionFollowsTheOutputHeight)
{
    struct Case
    {
        int32_t w, h;
        float x, y;
    };
    const Case cases[] = {{1280, 720, 930.0f, 10.0f},
                          {1920, 1079, 1570.0f, 10.0f},
                          {1920, 1080, 10.0f, 780.0f},
                          {3840, 2160, 10.0f, 780.0f}};
    for (bool stats : {false, true})
        for (const Case& c : cases)
        {
            StatsInputs in = Typical();
            in.showStats = stats;
            in.outputWidth = c.w;
            in.outputHeight = c.h;
            mirel::TextList list;
            BuildSummary(in, list);
            EXPECT_FLOAT_EQ(list.x, c.x) << c.h;
            EXPECT_FLOAT_EQ(list.y, c.y) << c.h;
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
    struct Case
    {
        float v;
        int32_t out;
    };
    const Case cases[] = {
        {-7.9f, -7}, {2147483520.0f, 2147483520}, {2147483648.0f, 0}, {-INFINITY, 0}, {NAN, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(TruncateToInt(c.v), c.out) << c.v;
}

TEST(Stats, RedBlockLines)
{
    DetectionRecord both, maxOnly;
    both.minRefreshMilliHz = 48500;
    both.maxRefreshMilliHz = 144999;
    maxOnly.maxRefreshMilliHz = 144000;
    const int32_t history[] = {300, 120, 4096, 800};
    const std::string longLine =
        "Update: 1.500000  -- Present: 0.250000  -- Profile: 0.000000  --  Threads: 4096 -- "
        "Thread Increment: 16 -- bifrexActive: 1, ringBufferSize: 5";
    struct Case
    {
        const char* what;
        const DetectionRecord* record;
        int32_t historyCount;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"no history, no record",
         nullptr,
         0,
         {longLine, "Using Refresh Rate: 60 -- Max Refresh Rate: 144", " ",
          "Cadora Demo Build Version: 0.9.1"}},
        {"history and a usable record",
         &both,
         4,
         {longLine, "Using Refresh Rate: 60 -- Max Refresh Rate: 144",
          "Min Threads: 120  -- Max Threads: 4096", "minRefresh: 48 -- maxRefresh: 144", " ",
          "Cadora Demo Build Version: 0.9.1"}},
        {"record without a minimum",
         &maxOnly,
         1,
         {longLine, "Using Refresh Rate: 60 -- Max Refresh Rate: 144",
          "Min Threads: 300  -- Max Threads: 300", " ", "Cadora Demo Build Version: 0.9.1"}},
    };
    for (const Case& c : cases)
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
        EXPECT_EQ(Lines(list), c.expected) << c.what;
        EXPECT_TRUE(ColourIs(list, kStatsRed)) << c.what;
        EXPECT_FLOAT_EQ(list.x, 360.0f);
        EXPECT_FLOAT_EQ(list.y, 400.0f);
    }
    StatsInputs off = Typical();
    mirel::TextList list;
    BuildStatsBlock(off, list);
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
