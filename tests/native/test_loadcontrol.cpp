// The frame-time control law, the sweep, the dispatch plan and the fps choices.
#include "detect.h"
#include "loadcontrol.h"
#include "core/props.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{

using namespace miCadora;

TEST(LoadControl, StepLadderAroundEveryThreshold)
{
    // Just below, at and just above each edge; the last edge is where a faulty timer differs.
    const float edges[] = {0.1f, 0.2f, 0.5f, 2.0f, 10.0f};
    const int32_t below[] = {0, 1, 2, 3, 20};
    const int32_t from[] = {1, 2, 3, 20, 200};
    for (int i = 0; i < 5; ++i)
        for (bool fault : {false, true})
        {
            const int32_t atOrAbove = fault && i == 4 ? 20 : from[i];
            EXPECT_EQ(StepFactor(std::nextafter(edges[i], 0.0f), fault), below[i]) << edges[i] << fault;
            EXPECT_EQ(StepFactor(edges[i], fault), atOrAbove) << edges[i] << fault;
            EXPECT_EQ(StepFactor(std::nextafter(edges[i], 100.0f), fault), atOrAbove) << edges[i] << fault;
        }
}

LoadInputs Inputs(float fps, float frameTime)
{
    LoadInputs in;
    in.targetFps = fps;
    in.frameTime = frameTime;
    return in;
}

// The frame time alone says: on target.
LoadInputs Gpu(float gpuMs, bool fault = false)
{
    LoadInputs in = Inputs(50.0f, 0.020f);
    in.useGpuQuery = true;
    in.gpuFrameMs = gpuMs;
    in.gpuTimingFault = fault;
    return in;
}

TEST(LoadControl, StepsScaleWithTheLoadAndFollowTheMeasurement)
{
    mirel::ClearProperties();
    struct Case
    {
        int32_t threads;
        LoadInputs in;
        int32_t increment, after;
    };
    const Case cases[] = {
        {5000, Inputs(50, 0.017f), 100, 5100}, // 3 ms too quick: add 20 x 5
        {5000, Inputs(50, 0.023f), 100, 4900}, // 3 ms too slow: remove
        {1500, Inputs(50, 0.017f), 30, 1530},
        {1, Inputs(50, 0.5f), 200, 1},      // far too slow at the floor
        {1000, Inputs(50, 0.02f), 0, 1000}, // on target
        {200, Inputs(60, 0.0f), 200, 400},  // 16.7 ms too quick
        // The GPU time replaces the frame time; a faulty timer's is halved and never takes the
        // 200 step.
        {500, Gpu(30.0f), 200, 300},
        {300, Gpu(30.0f, true), 20, 320},
        // A measurement that is not a number holds the load.
        {900, Gpu(std::nanf("")), 0, 900},
        {900, Gpu(INFINITY), 0, 900},
        {900, Gpu(-INFINITY), 0, 900},
        {kMaxComputeThreads - 5, Inputs(35, 0.0f), -1, kMaxComputeThreads}, // never overflows
    };
    for (const Case& c : cases)
    {
        LoadState st;
        st.computeThreads = c.threads;
        UpdateLoad(st, c.in);
        if (c.increment >= 0)
        {
            EXPECT_EQ(st.threadIncrement, c.increment) << c.threads << " " << c.in.frameTime;
        }
        EXPECT_EQ(st.computeThreads, c.after) << c.threads << " " << c.in.frameTime << " " << c.in.gpuFrameMs;
    }
}

TEST(LoadControl, TargetsFromRateSweepAndSlider)
{
    LoadInputs free = Inputs(52, 0), sweep35 = Inputs(50, 0), sweep45 = Inputs(50, 0);
    free.debugGui = true;
    sweep35.sweepSwitch = sweep45.sweepSwitch = 1.0f;
    sweep35.sweepLowFps = 35; // A = 12, period 2 pi x 1.2 s
    sweep45.sweepLowFps = 45; // A = 7, period 2 pi s
    LoadInputs slow = sweep35;
    slow.variableFpsFreq = 0.3f; // period 2 pi x 3.6 s
    LoadInputs slider = sweep45;
    slider.sweepToSliderMax = true;
    slider.targetFps = 40;
    slider.sliderMax = 100; // A = 29.5, D = 2.95
    LoadInputs unrounded = slider;
    unrounded.targetFps = 42.0f; // the slider sweeps from 42, not from 40 as the plain rate would
    unrounded.sliderMax = 62.0f; // A = 9.5: period 2 pi, bottom at 3 pi / 2
    const float pi = 3.14159265f;
    const struct
    {
        const char* what;
        LoadInputs in;
        float clock, fps;
    } cases[] = {
        {"rounded down to a multiple of 5", Inputs(57, 0), 0, 55},
        {"free slider", free, 0, 52},
        {"sweep 35-60 at phase 0", sweep35, 0, 47},
        {"sweep 35-60 at its top", sweep35, 1.2f * pi / 2, 59},
        {"sweep 35-60 at its bottom", sweep35, 1.2f * 3 * pi / 2, 35},
        {"slowed sweep 35-60 at its top", slow, 3.6f * pi / 2, 59},
        {"sweep 45-60 at its top", sweep45, pi / 2, 59},
        {"sweep 45-60 after a period", sweep45, 2 * pi + pi / 2, 59},
        {"slider sweep overrides", slider, 2.95f * pi / 2, 99},
        {"slider sweep from an unrounded rate", unrounded, 3 * pi / 2, 42},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(TargetFrameMs(c.in, c.clock), 1000.0f / c.fps, 0.01f) << c.what;
}

TEST(LoadControl, DegenerateInputsStillGiveASaneTarget)
{
    LoadInputs zeroFree = Inputs(0.0f, 0), noPeriod = Inputs(50, 0), sliderFromZero = Inputs(0, 0);
    zeroFree.debugGui = true;
    noPeriod.sweepSwitch = 1;
    noPeriod.sweepLowFps = 35;
    noPeriod.variableFpsFreq = 0.0f;
    LoadInputs empty = noPeriod, missingFreq = noPeriod;
    empty.sweepLowFps = empty.sweepHighFps = 0.0f;
    missingFreq.variableFpsFreq = 3.4028235e38f;
    sliderFromZero.sweepToSliderMax = true;
    sliderFromZero.sliderMax = 0;
    for (const LoadInputs& in : {zeroFree, Inputs(3.0f, 0), noPeriod, empty, missingFreq, sliderFromZero})
        for (float clock : {0.0f, 1.0f, 1000.0f})
        {
            const float ms = TargetFrameMs(in, clock);
            EXPECT_TRUE(std::isfinite(ms) && ms > 0.0f && ms <= 200.0f) << ms;
        }
    for (const LoadInputs& in : {noPeriod, missingFreq}) // still within the 35-60 sweep
        for (float clock : {0.0f, 1.0f, 1000.0f})
            EXPECT_NEAR(TargetFrameMs(in, clock), 22.62f, 5.96f) << clock;
}

TEST(LoadControl, SweepClockWrapsAndHistoryKeepsTheLast21WhileShown)
{
    mirel::ClearProperties();
    LoadState st;
    LoadInputs in = Inputs(50.0f, 0.02f);
    st.sweepClock = 3599.99f;
    UpdateLoad(st, in);
    EXPECT_EQ(st.sweepClock, 0.0f);
    UpdateLoad(st, in);
    EXPECT_EQ(st.historyCount, 0) << "no history while the statistics are hidden";
    LogPrint(st, "lost %d\n", 1); // no file: nothing, no crash
    in.showStats = true;
    in.frameTime = 0.0f; // 20 ms too quick: +200 per frame
    for (int i = 0; i < 30; ++i)
        UpdateLoad(st, in);
    ASSERT_EQ(st.historyCount, 21);
    EXPECT_EQ(st.threadHistory[20], st.computeThreads);
    EXPECT_EQ(st.threadHistory[19], st.computeThreads - st.threadIncrement) << "oldest first";
    EXPECT_GT(st.threadHistory[0], 1 + 200 * 9) << "the first 9 of 30 values were dropped";
}

DetectionRecord Display(int32_t minMilliHz, int32_t maxMilliHz, bool multiGpu = false)
{
    DetectionRecord r;
    r.minRefreshMilliHz = minMilliHz;
    r.maxRefreshMilliHz = maxMilliHz;
    r.multiGpuActive = multiGpu;
    return r;
}

TEST(LoadControl, SweepRangeFromTheDisplay)
{
    const struct
    {
        const char* what;
        bool hasRecord;
        DetectionRecord record;
        int32_t refresh, lo, hi;
        bool capable;
    } cases[] = {
        {"40-144 Hz at 144", true, Display(40000, 144000), 144, 45, 60, true},
        {"48-75 Hz at 75", true, Display(48000, 75000), 75, 55, 60, true},
        {"30-60 Hz at 60", true, Display(30000, 60000), 60, 35, 55, true},
        {"47.95-143.86 Hz at 144", true, Display(47950, 143856), 144, 55, 60, true},
        {"no record", false, {}, 144, 45, 60, false},
        {"two GPUs", true, Display(40000, 144000, true), 144, 45, 60, false},
        {"no minimum", true, Display(0, 144000), 144, 45, 60, false},
        {"refresh unknown", true, Display(40000, 144000), 0, 45, 60, true},
        {"refresh reads 1", true, Display(40000, 144000), 1, 45, 60, true},
    };
    for (const auto& c : cases)
    {
        const SweepRange r = ChooseSweepRange(c.hasRecord ? &c.record : nullptr, c.refresh);
        EXPECT_EQ(r.lo, c.lo) << c.what;
        EXPECT_EQ(r.hi, c.hi) << c.what;
        EXPECT_EQ(r.capable, c.capable) << c.what;
    }
}

std::vector<std::string> g_lines;

TEST(LoadControl, FpsChoicesDefaultsAndLines)
{
    const struct
    {
        bool hasRecord;
        int32_t lo, hi;
        int32_t c, n, defaultFps, checkedBox;
    } cases[] = {
        {true, 45, 60, 2, 6, 50, 3},  {true, 55, 60, 4, 6, 55, 4}, {true, 60, 60, 5, 6, 60, 5},
        {true, 35, 35, 0, 1, 35, 0},  {true, 35, 40, 0, 2, 40, 1}, {true, 35, 45, 0, 3, 45, 2},
        {false, 35, 60, 2, 6, 50, 3}, // without a record the low end becomes 45
    };
    const DetectionRecord display = Display(40000, 144000);
    for (const auto& c : cases)
    {
        g_lines.clear();
        const FpsChoices ch = BuildFpsChoices(c.hasRecord ? &display : nullptr, c.lo, c.hi,
                                              [](const char* line) { g_lines.push_back(line); });
        EXPECT_EQ(ch.firstUsable, c.c) << c.lo << "-" << c.hi;
        EXPECT_EQ(ch.upToHi, c.n) << c.lo << "-" << c.hi;
        EXPECT_EQ(ch.defaultFps, c.defaultFps) << c.lo << "-" << c.hi;
        for (int i = 0; i < kFpsChoiceCount; ++i)
            EXPECT_EQ(ch.checked[i], i == c.checkedBox) << "box " << i;
        ASSERT_EQ(g_lines.size(), 7u);
        EXPECT_EQ(g_lines[0], "fps: 35 min: " + std::to_string(c.hasRecord ? c.lo : 45) +
                                  "  max: " + std::to_string(c.hi) + " \n");
    }
}

} // namespace
