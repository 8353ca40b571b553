// The statistics overlay's lines, positions and colours from given figures.
#include "detect.h"
#include "stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

using namespace miCadora;

namespace
{

using Lines = std::vector<std::string>;

// The list's lines, after checking that every one has the colour.
Lines Texts(const mirel::TextList& list, const float (&colour)[4])
{
    Lines out;
    for (int i = 0; i < list.count; ++i)
    {
        out.emplace_back(list.lines[i].text);
        EXPECT_TRUE(std::equal(colour, colour + 4, list.lines[i].colour)) << out.back();
    }
    return out;
}

// In field order: frame timer, GPU timing, frame count and ring, CPU times, load, detection,
// adapter, refresh, output and desktop.
const StatsInputs kTypical{0.0166667f, 50.0f, 60.5f, 59.25f, 12.5f, 16.75f,  false,  false,   123456789012ull,
                           5,          1.5f,  0.25f, 4096,   16,    nullptr, 0,      nullptr, "Test Adapter",
                           2048,       60,    144,   1280,   720,   1920.0f, 1080.0f};

Lines Summary(const StatsInputs& in, const float (&colour)[4] = kStatsWhite)
{
    mirel::TextList list;
    BuildSummary(in, list);
    return Texts(list, colour);
}

} // namespace

TEST(Stats, SummaryLinesTheDisplaysAnswerForEachDetectionCaseAndTheFiguresWhenShown)
{
    EXPECT_EQ(Summary(kTypical),
              (Lines{"                 Instant FPS :  60.5000", "Moving Average FPS :   59.25", " ",
                     "Korvo Cadora(TM) Compatible Display :  NO", " ", "GPU: Test Adapter",
                     "GPU Memory (MB): 2048", "Resolution: 1280 x 720", "Desktop Resolution: 1920 x 1080",
                     "Korvo Cadora(TM) Demo Build Version: 0.9.1"}));
    DetectionRecord none, minOnly, both;
    minOnly.minRefreshMilliHz = both.minRefreshMilliHz = 48000;
    both.maxRefreshMilliHz = 144000;
    StatsInputs in = kTypical;
    for (const DetectionRecord* r : {&none, &minOnly, &both})
    {
        in.detection = r;
        EXPECT_EQ(Summary(in)[3],
                  std::string("Korvo Cadora(TM) Compatible Display :  ") + (r == &both ? "YES" : "NO"));
    }
    in.showStats = true;
    EXPECT_EQ(Summary(in, kStatsFiguresColour),
              (Lines{"CPU FPS :  20  -- 16.6667 ", "GPU MS :   12.50", "GPU Frame Time (ms) :  16",
                     "Frame #= 123456789012"}));
    // Before the first whole second there is no frame count to divide by.
    in.fps = 0.0f;
    EXPECT_EQ(Summary(in, kStatsFiguresColour)[0], "CPU FPS :  0  -- 16.6667 ");
}

// The rates shown follow the GPU timing when asked, double under the timing fault, and are
// clamped to 0 .. 2000 (NaN shows 0).
TEST(Stats, RatesFollowTheGpuTimingAndAreClampedForShow)
{
    // In field order: frame time, whole-second rate, instant and average rates, GPU frame and
    // second times, timing fault, GPU timing used; the rates shown, instant | average.
    const std::pair<StatsInputs, const char*> cases[] = {
        {{0, 0, 75.0f, 70.0f, 10.0f, 20.0f, false, false}, "75.0000| 70.00"},
        {{0, 0, 75.0f, 70.0f, 10.0f, 20.0f, false, true}, "100.0000| 50.00"},
        {{0, 0, 75.0f, 70.0f, 0.0f, 0.0f, false, true}, "0.0000|  0.00"},
        {{0, 0, 75.0f, 70.0f, 10.0f, 20.0f, true, true}, "200.0000|100.00"},
        {{0, 0, 1500.0f, 30.0f, 0.0f, 0.0f, true, false}, "2000.0000| 60.00"},
        {{0, 0, -5.0f, NAN, 0.0f, 0.0f, false, false}, "0.0000|  0.00"},
    };
    for (const auto& [in, shown] : cases)
    {
        const Lines lines = Summary(in);
        EXPECT_EQ(lines[0].substr(32) + "|" + lines[1].substr(22), shown);
    }
}

TEST(Stats, SummaryPositionFollowsTheOutputHeightAndAbsentDesktopPropertiesShowZero)
{
    const int32_t w[] = {1280, 1920, 1920, 3840}, h[] = {720, 1079, 1080, 2160};
    const float x[] = {930.0f, 1570.0f, 10.0f, 10.0f}, y[] = {10.0f, 10.0f, 780.0f, 780.0f};
    for (bool stats : {false, true})
        for (int i = 0; i < 4; ++i)
        {
            StatsInputs in = kTypical;
            in.showStats = stats;
            in.outputWidth = w[i];
            in.outputHeight = h[i];
            mirel::TextList list;
            BuildSummary(in, list);
            EXPECT_TRUE(list.x == x[i] && list.y == y[i]) << h[i] << ": " << list.x << ", " << list.y;
        }
    // Absent desktop properties show 0, not an undefined conversion.
    StatsInputs in = kTypical;
    in.desktopX = FLT_MAX;
    in.desktopY = 1599.9f;
    EXPECT_EQ(Summary(in)[8], "Desktop Resolution: 0 x 1599");
    const float v[] = {-7.9f, 2147483520.0f, 2147483648.0f, -INFINITY, NAN};
    const int32_t out[] = {-7, 2147483520, 0, 0, 0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(TruncateToInt(v[i]), out[i]) << v[i];
}

TEST(Stats, RedBlockLinesAndMenuLabelsBesideTheMenuOrigin)
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
        Lines middle; // between the refresh line and the version
    } cases[] = {
        {nullptr, 0, {}},
        {&both, 4, {"Min Threads: 120  -- Max Threads: 4096", "minRefresh: 48 -- maxRefresh: 144"}},
        {&maxOnly, 1, {"Min Threads: 300  -- Max Threads: 300"}},
    };
    StatsInputs in = kTypical;
    mirel::TextList list;
    BuildStatsBlock(in, list);
    EXPECT_EQ(list.count, 0);
    for (const auto& c : cases)
    {
        in.showStats = in.gpuTimingFault = true;
        in.detection = c.record;
        in.threadHistory = history;
        in.threadHistoryCount = c.historyCount;
        list.count = 3; // left from the previous frame
        BuildStatsBlock(in, list);
        Lines expected = {
            "Update: 1.500000  -- Present: 0.250000  -- Profile: 0.000000  --  Threads: 4096 -- "
            "Thread Increment: 16 -- bifrexActive: 1, ringBufferSize: 5",
            "Using Refresh Rate: 60 -- Max Refresh Rate: 144"};
        expected.insert(expected.end(), c.middle.begin(), c.middle.end());
        expected.insert(expected.end(), {" ", "Cadora Demo Build Version: 0.9.1"});
        EXPECT_EQ(Texts(list, kStatsRed), expected) << c.historyCount;
        EXPECT_TRUE(list.x == 360.0f && list.y == 400.0f);
    }
    // The menu labels sit beside the menu origin.
    mirel::TextList lists[3];
    BuildMenuLabels(100.0f, 50.0f, 45.0f, lists);
    const char* texts[] = {"FPS", "45.000000", "Sweep"};
    const float xs[] = {420.0f, 700.0f, 420.0f}, ys[] = {70.0f, 70.0f, 110.0f};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(Texts(lists[i], kStatsRed), Lines{texts[i]});
        EXPECT_TRUE(lists[i].x == xs[i] && lists[i].y == ys[i]) << i;
    }
}
