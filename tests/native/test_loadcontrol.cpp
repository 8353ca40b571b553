// The frame-time control law, the sweep, the dispatch plan and the fps choices.
#include "detect.h"
#include "loadcontrol.h"
#include "core/props.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using namespace miCadora;

TEST(LoadControl, StepLadderEdges)
{
    struct Case
    {
        float a;
        bool fault;
        int32_t k;
    };
    const Case cases[] = {{0.0f, false, 0},   {0.099f, false, 0},  {0.1f, false, 1},  {0.2f, false, 2},
                          {0.49f, false, 2},  {0.5f, false, 3},    {1.99f, false, 3}, {2.0f, false, 20},
                          {9.99f, false, 20}, {10.0f, false, 200}, {10.0f, true, 20}, {500.0f, true, 20}};
    for (const Case& c : cases)
        EXPECT_EQ(StepFactor(c.a, c.fault), c.k) << c.a << " fault " << c.fault;
}

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
            EXPECT_EQ(StepFactor(std::nextafter(edges[i], 0.0f), fault), below[i])
                << edges[i] << " fault " << fault;
            EXPECT_EQ(StepFactor(edges[i], fault), atOrAbove) << edges[i] << " fault " << fault;
            EXPECT_EQ(StepFactor(std::nextafter(edges[i], 100.0f), fault), atOrAbove)
                << edges[i] << " fault " << fault;
        }
}

LoadInputs FixedRate(float fps, float frameTime)
{
    LoadInputs in;
    in.targetFps = fps;
    in.frameTime = frameTime;
    return in;
}

TEST(LoadControl, StepsScaleWithTheLoadAndNeverDropBelowOne)
{
    mirel::ClearProperties();
    struct Case
    {
        int32_t threads;
        float fps, frameTime;
        int32_t increment, after;
    };
    const Case cases[] = {
        {5000, 50.0f, 0.017f, 100, 5100}, // 3 ms too quick: add 20 x 5
        {5000, 50.0f, 0.023f, 100, 4900}, // 3 ms too slow: remove
        {1, 50.0f, 0.5f, 200, 1},         // far too slow at the floor
        {1000, 50.0f, 0.02f, 0, 1000},    // on target
        {200, 60.0f, 0.0f, 200, 400},     // 16.7 ms too quick
    };
    for (const Case& c : cases)
    {
        LoadState st;
        st.computeThreads = c.threads;
        UpdateLoad(st, FixedRate(c.fps, c.frameTime));
        EXPECT_EQ(st.threadIncrement, c.increment) << c.threads << " " << c.frameTime;
        EXPECT_EQ(st.computeThreads, c.after) << c.threads << " " << c.frameTime;
    }
}

TEST(LoadControl, GpuTimeReplacesTheFrameTimeAndAFaultHalvesIt)
{
    mirel::ClearProperties();
    LoadInputs in = FixedRate(50.0f, 0.020f); // the frame time alone says: on target
    in.useGpuQuery = true;
    in.gpuFrameMs = 30.0f;
    LoadState st;
    st.computeThreads = 500;
    UpdateLoad(st, in);
    EXPECT_FLOAT_EQ(st.currentMs, 30.0f);
    EXPECT_EQ(st.computeThreads, 300) << "10 ms too slow steps by 200";
    in.gpuTimingFault = true;
    UpdateLoad(st, in);
    EXPECT_FLOAT_EQ(st.currentMs, 15.0f);
    EXPECT_EQ(st.computeThreads, 320) << "a faulty timer never takes the 200 step";
}

TEST(LoadControl, FixedThreadsOverridesTheLaw)
{
    mirel::ClearProperties();
    mirel::RegisterProperty("debug.fixedThreads", mirel::kPropFloat);
    for (float fixed : {0.0f, 123.9f, -4.0f})
    {
        mirel::SetPropertyFloat("debug.fixedThreads", fixed);
        LoadState st;
        st.computeThreads = 777;
        UpdateLoad(st, FixedRate(50.0f, 0.001f));
        EXPECT_EQ(st.computeThreads, static_cast<int32_t>(fixed));
        EXPECT_EQ(PlanDispatch(st.computeThreads).fullRows + PlanDispatch(st.computeThreads).remainder,
                  fixed > 0 ? static_cast<uint32_t>(fixed) : 0u);
    }
    mirel::ClearProperties();
}

TEST(LoadControl, TargetsFromRateSweepAndSlider)
{
    struct Case
    {
        const char* what;
        LoadInputs in;
        float clock, fps;
    };
    LoadInputs rounded = FixedRate(52.0f, 0), free = FixedRate(52.0f, 0);
    free.debugGui = true;
    LoadInputs sweep35 = FixedRate(50, 0), sweep45 = FixedRate(50, 0);
    sweep35.sweepSwitch = sweep45.sweepSwitch = 1.0f;
    sweep35.sweepLowFps = 35;
    sweep35.sweepHighFps = 60; // A = 12, period 2 pi x 1.2 s
    sweep45.sweepLowFps = 45;
    sweep45.sweepHighFps = 60; // A = 7, period 2 pi s
    LoadInputs slider = sweep45;
    slider.sweepToSliderMax = true;
    slider.targetFps = 40;
    slider.sliderMax = 100; // A = 29.5, D = 2.95
    const float pi = 3.14159265f;
    const Case cases[] = {
        {"rounded down to a multiple of 5", rounded, 0, 50},
        {"free slider", free, 0, 52},
        {"sweep 35-60 at phase 0", sweep35, 0, 47},
        {"sweep 35-60 at its top", sweep35, 1.2f * pi / 2, 59},
        {"sweep 35-60 at its bottom", sweep35, 1.2f * 3 * pi / 2, 35},
        {"sweep 45-60 at its top", sweep45, pi / 2, 59},
        {"slider sweep overrides", slider, 2.95f * pi / 2, 99},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(TargetFrameMs(c.in, c.clock), 1000.0f / c.fps, 0.01f) << c.what;
}

TEST(LoadControl, SweepPeriodsAndTheSliderSweepsUnroundedLowEnd)
{
    struct Case
    {
        float lo, hi, freq, period;
    };
    const float twoPi = 6.2831853f;
    // A = 7 (<= 10): 2 pi s whatever the frequency; A = 12: 2 pi x freq x A.
    const Case cases[] = {{45, 60, 0.1f, twoPi},
                          {45, 60, 5.0f, twoPi},
                          {35, 60, 0.1f, twoPi * 1.2f},
                          {35, 60, 0.5f, twoPi * 6.0f}};
    for (const Case& c : cases)
    {
        LoadInputs in;
        in.sweepSwitch = 1.0f;
        in.sweepLowFps = c.lo;
        in.sweepHighFps = c.hi;
        in.variableFpsFreq = c.freq;
        for (float t : {0.3f, 1.1f, 2.5f})
        {
            EXPECT_NEAR(TargetFrameMs(in, t), TargetFrameMs(in, t + c.period), 0.02f)
                << c.lo << " " << c.freq;
            EXPECT_GT(std::fabs(TargetFrameMs(in, t) - TargetFrameMs(in, t + c.period / 2)), 0.05f) << c.lo;
        }
    }
    LoadInputs slider;
    slider.targetFps = 42.0f; // not rounded to 40 as the plain rate would be
    slider.sweepToSliderMax = true;
    slider.sliderMax = 62.0f; // A = 9.5: period 2 pi, bottom at 3 pi / 2
    EXPECT_NEAR(TargetFrameMs(slider, 3.0f * 3.14159265f / 2.0f), 1000.0f / 42.0f, 0.01f);
    slider.sweepToSliderMax = false;
    EXPECT_NEAR(TargetFrameMs(slider, 0), 25.0f, 0.01f);
}

TEST(LoadControl, AMeasurementThatIsNotANumberHoldsTheLoad)
{
    mirel::ClearProperties();
    for (float gpuMs : {std::nanf(""), INFINITY, -INFINITY})
    {
        LoadInputs in = FixedRate(50.0f, 0.02f);
        in.useGpuQuery = true;
        in.gpuFrameMs = gpuMs;
        LoadState st;
        st.computeThreads = 900;
        UpdateLoad(st, in);
        EXPECT_EQ(st.threadIncrement, 0) << gpuMs;
        EXPECT_EQ(st.computeThreads, 900) << gpuMs;
    }
}

TEST(LoadControl, DegenerateInputsStillGiveASaneTarget)
{
    LoadInputs zeroFree = FixedRate(0.0f, 0);
    zeroFree.debugGui = true;
    LoadInputs tiny = FixedRate(3.0f, 0); // rounds to 0
    LoadInputs noPeriod = FixedRate(50, 0);
    noPeriod.sweepSwitch = 1;
    noPeriod.sweepLowFps = 35;
    noPeriod.sweepHighFps = 60;
    noPeriod.variableFpsFreq = 0.0f;
    LoadInputs empty = noPeriod;
    empty.sweepLowFps = empty.sweepHighFps = 0.0f;
    LoadInputs missingFreq = noPeriod;
    missingFreq.variableFpsFreq = 3.4028235e38f;
    LoadInputs sliderFromZero = FixedRate(0, 0);
    sliderFromZero.sweepToSliderMax = true;
    sliderFromZero.sliderMax = 0;
    for (const LoadInputs& in : {zeroFree, tiny, noPeriod, empty, missingFreq, sliderFromZero})
        for (float clock : {0.0f, 1.0f, 1000.0f})
        {
            const float ms = TargetFrameMs(in, clock);
            EXPECT_TRUE(std::isfinite(ms) && ms > 0.0f && ms <= 200.0f) << ms;
        }
}

TEST(LoadControl, SweepClockWrapsAndHistoryKeepsTheLast21WhileShown)
{
    mirel::ClearProperties();
    LoadState st;
    LoadInputs in = FixedRate(50.0f, 0.02f);
    st.sweepClock = 3599.99f;
    UpdateLoad(st, in);
    EXPECT_EQ(st.sweepClock, 0.0f);
    UpdateLoad(st, in);
    EXPECT_EQ(st.historyCount, 0) << "no history while the statistics are hidden";
    in.showStats = true;
    in.frameTime = 0.0f; // 20 ms too quick: +200 per frame
    for (int i = 0; i < 30; ++i)
        UpdateLoad(st, in);
    ASSERT_EQ(st.historyCount, 21);
    EXPECT_EQ(st.threadHistory[20], st.computeThreads);
    EXPECT_EQ(st.threadHistory[19], st.computeThreads - st.threadIncrement) << "oldest first";
    EXPECT_GT(st.threadHistory[0], 1 + 200 * 9) << "the first 9 of 30 values were dropped";
}

TEST(LoadControl, RunawayLoadNeverOverflows)
{
    mirel::ClearProperties();
    LoadState st;
    st.computeThreads = kMaxComputeThreads - 5;
    UpdateLoad(st, FixedRate(35.0f, 0.0f));
    EXPECT_EQ(st.computeThreads, kMaxComputeThreads);
}

TEST(LoadControl, DispatchPlanKeepsEveryGroupWithinTheDimensionLimit)
{
    struct Case
    {
        int32_t threads;
        uint32_t rows, rest;
    };
    const Case cases[] = {{-3, 0, 0},
                          {0, 0, 0},
                          {1, 0, 1},
                          {65535, 1, 0},
                          {65536, 1, 1},
                          {100000, 1, 34465},
                          {kMaxComputeThreads, 16384, 16384}};
    for (const Case& c : cases)
    {
        const DispatchPlan p = PlanDispatch(c.threads);
        EXPECT_EQ(p.fullRows, c.rows) << c.threads;
        EXPECT_EQ(p.remainder, c.rest) << c.threads;
        EXPECT_LE(p.fullRows, kMaxGroupsPerDimension);
        EXPECT_LT(p.remainder, kMaxGroupsPerDimension);
    }
}

TEST(LoadControl, LogLinesWithAndWithoutTimeStamps)
{
    mirel::test::TempFile file("");
    LoadState st;
    LogPrint(st, "lost %d\n", 1); // no file: nothing, no crash
    st.log = std::fopen(file.Path(), "a+");
    ASSERT_NE(st.log, nullptr);
    st.logThreads = true;
    mirel::ClearProperties();
    st.computeThreads = 10;
    UpdateLoad(st, FixedRate(50.0f, 0.02f));
    st.logTime = true;
    LogPrint(st, "stamped\n");
    std::fclose(st.log);
    std::ifstream in(file.Path());
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, "TargetMs: 20.000000, CurrentMs: 20.000000, ComputeThreads: 10, AddedThreads: 0");
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second.front(), '[');
    EXPECT_NE(second.find("]stamped"), std::string::npos) << second;
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
    struct Case
    {
        const char* what;
        bool hasRecord;
        DetectionRecord record;
        int32_t refresh, lo, hi;
        bool capable;
    };
    const Case cases[] = {
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
    for (const Case& c : cases)
    {
        const SweepRange r = ChooseSweepRange(c.hasRecord ? &c.record : nullptr, c.refresh);
        EXPECT_EQ(r.lo, c.lo) << c.what;
        EXPECT_EQ(r.hi, c.hi) << c.what;
        EXPECT_EQ(r.capable, c.capable) << c.what;
    }
}

std::vector<std::string> g_lines;
void CollectLine(const char* line)
{
    g_lines.push_back(line);
}

TEST(LoadControl, FpsChoicesDefaultsAndLines)
{
    struct Case
    {
        bool hasRecord;
        int32_t lo, hi;
        int32_t c, n, defaultFps, checkedBox;
    };
    const DetectionRecord display = Display(40000, 144000);
    const Case cases[] = {
        {true, 45, 60, 2, 6, 50, 3},  {true, 55, 60, 4, 6, 55, 4}, {true, 60, 60, 5, 6, 60, 5},
        {true, 35, 35, 0, 1, 35, 0},  {true, 35, 40, 0, 2, 40, 1}, {true, 35, 45, 0, 3, 45, 2},
        {false, 35, 60, 2, 6, 50, 3}, // without a record the low end becomes 45
    };
    for (const Case& c : cases)
    {
        g_lines.clear();
        const FpsChoices ch = BuildFpsChoices(c.hasRecord ? &display : nullptr, c.lo, c.hi, CollectLine);
        EXPECT_EQ(ch.firstUsable, c.c) << c.lo << "-" << c.hi;
        EXPECT_EQ(ch.upToHi, c.n) << c.lo << "-" << c.hi;
        EXPECT_EQ(ch.defaultFps, c.defaultFps) << c.lo << "-" << c.hi;
        for (int i = 0; i < kFpsChoiceCount; ++i)
            EXPECT_EQ(ch.checked[i], i == c.checkedBox) << "box " << i;
        ASSERT_EQ(g_lines.size(), 7u);
        std::ostringstream expect;
        expect << "fps: 35 min: " << (c.hasRecord ? c.lo : 45) << "  max: " << c.hi << " \n";
        EXPECT_EQ(g_lines[0], expect.str());
    }
}

TEST(LoadControl, SelectingAChoice)
{
    const DetectionRecord display = Display(40000, 144000);
    FpsChoices ch = BuildFpsChoices(&display, 45, 60, nullptr);
    ch.checked[0] = true; // below the range: never touched
    float target = 50, sweep = 0;
    SelectFpsChoice(ch, 6, false, target, sweep);
    EXPECT_EQ(sweep, 1.0f);
    EXPECT_TRUE(ch.checked[6]);
    EXPECT_FALSE(ch.checked[3]);
    SelectFpsChoice(ch, 4, false, target, sweep);
    EXPECT_EQ(sweep, 0.0f);
    EXPECT_EQ(target, 55.0f);
    EXPECT_TRUE(ch.checked[4]);
    EXPECT_FALSE(ch.checked[6]);
    EXPECT_TRUE(ch.checked[0]);
    SelectFpsChoice(ch, 2, true, target, sweep);
    EXPECT_EQ(target, 55.0f) << "ignored in the free-slider mode";
    EXPECT_TRUE(ch.checked[4]);
}

} // namespace
