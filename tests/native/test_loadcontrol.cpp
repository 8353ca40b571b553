// The frame-time control law, the sweep, the dispatch plan and the fps choices; and the law in a
// closed loop with a simulated GPU.
#include "detect.h"
#include "loadcontrol.h"
#include "plotlog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace
{

using namespace miCadora;

TEST(LoadControl, StepLadderAroundEveryThreshold)
{
    // Just below, at and just above each edge; the last edge is where a faulty timer differs.
    const float edges[] = {0.1f, 0.2f, 0.5f, 2.0f, 10.0f};
    const int32_t below[] = {0, 1, 2, 3, 20}, from[] = {1, 2, 3, 20, 200};
    for (int i = 0; i < 5; ++i)
        for (bool fault : {false, true})
        {
            SCOPED_TRACE(testing::Message() << edges[i] << fault);
            const int32_t atOrAbove = fault && i == 4 ? 20 : from[i];
            EXPECT_EQ(StepFactor(std::nextafter(edges[i], 0.0f), fault), below[i]);
            EXPECT_EQ(StepFactor(edges[i], fault), atOrAbove);
            EXPECT_EQ(StepFactor(std::nextafter(edges[i], 100.0f), fault), atOrAbove);
        }
}

// A rate and frame time; a GPU time, when given, is what the controller measures.
LoadInputs Inputs(float fps, float frameTime, std::optional<float> gpuMs = {}, bool fault = false)
{
    LoadInputs in;
    in.targetFps = fps;
    in.frameTime = frameTime;
    in.useGpuQuery = gpuMs.has_value();
    in.gpuFrameMs = gpuMs.value_or(0.0f);
    in.gpuTimingFault = fault;
    return in;
}

TEST(LoadControl, StepsScaleWithTheLoadAndFollowTheMeasurement)
{
    const std::tuple<int32_t, LoadInputs, int32_t, int32_t> cases[] = {
        {5000, Inputs(50, 0.017f), 100, 5100}, // 3 ms too quick: add 20 x 5
        {5000, Inputs(50, 0.023f), 100, 4900}, // 3 ms too slow: remove
        {1500, Inputs(50, 0.017f), 30, 1530},
        {1, Inputs(50, 0.5f), 200, 1},      // far too slow at the floor
        {1000, Inputs(50, 0.02f), 0, 1000}, // on target
        {200, Inputs(60, 0.0f), 200, 400},  // 16.7 ms too quick
        // The GPU time replaces the frame time (on target); a faulty timer's is halved and never
        // takes the 200 step. A measurement that is not a number holds the load.
        {500, Inputs(50, 0.02f, 30.0f), 200, 300},
        {300, Inputs(50, 0.02f, 30.0f, true), 20, 320},
        {900, Inputs(50, 0.02f, NAN), 0, 900},
        {900, Inputs(50, 0.02f, INFINITY), 0, 900},
        {900, Inputs(50, 0.02f, -INFINITY), 0, 900},
        {kMaxComputeThreads - 5, Inputs(35, 0.0f), -1, kMaxComputeThreads}, // never overflows
    };
    for (const auto& [threads, in, increment, after] : cases)
    {
        LoadState st;
        st.computeThreads = threads;
        UpdateLoad(st, in);
        EXPECT_EQ(st.computeThreads, after) << threads << " " << in.frameTime << " " << in.gpuFrameMs;
        EXPECT_TRUE(increment < 0 || st.threadIncrement == increment) << st.threadIncrement;
    }
}

// A sweep from lowFps to 60, its period scaled by freq; or, with sliderMax, the slider's sweep from
// the rate fps up to it.
LoadInputs Sweep(float lowFps, float freq = 0.1f, float fps = 50, float sliderMax = 0)
{
    LoadInputs in = Inputs(fps, 0);
    in.sweepSwitch = 1.0f;
    in.sweepLowFps = lowFps;
    in.variableFpsFreq = freq;
    in.sweepToSliderMax = sliderMax > 0;
    in.sliderMax = sliderMax;
    return in;
}

TEST(LoadControl, TargetsFromRateSweepAndSliderAndSaneOnesFromDegenerateInputs)
{
    LoadInputs free = Inputs(52, 0);
    free.debugGui = true;
    const float pi = 3.14159265f;
    const std::tuple<const char*, LoadInputs, float, float> cases[] = {
        {"rounded down to a multiple of 5", Inputs(57, 0), 0, 55},
        {"free slider", free, 0, 52},
        // 35-60: A = 12, period 2 pi x 1.2 s; 45-60: A = 7, period 2 pi s.
        {"sweep 35-60 at its top", Sweep(35), 1.2f * pi / 2, 59},
        {"sweep 35-60 at its bottom", Sweep(35), 1.2f * 3 * pi / 2, 35},
        {"slowed sweep 35-60 at its top", Sweep(35, 0.3f), 3.6f * pi / 2, 59},
        {"sweep 45-60 at its top", Sweep(45), pi / 2, 59},
        {"sweep 45-60 after a period", Sweep(45), 2 * pi + pi / 2, 59},
        {"slider sweep overrides", Sweep(45, 0.1f, 40, 100), 2.95f * pi / 2, 99}, // A = 29.5, D = 2.95
        // From 42, not from 40 as the plain rate would; A = 9.5: period 2 pi, bottom at 3 pi / 2.
        {"slider sweep from an unrounded rate", Sweep(45, 0.1f, 42, 62), 3 * pi / 2, 42},
    };
    for (const auto& [what, in, clock, fps] : cases)
        EXPECT_NEAR(TargetFrameMs(in, clock), 1000.0f / fps, 0.01f) << what;
    // Degenerate inputs still give a sane target.
    LoadInputs zeroFree = Inputs(0.0f, 0), empty = Sweep(0, 0), sliderFromZero = Sweep(35, 0.1f, 0, 1);
    zeroFree.debugGui = true;
    empty.sweepHighFps = 0.0f;
    sliderFromZero.sliderMax = 0;
    const LoadInputs noPeriod = Sweep(35, 0), missingFreq = Sweep(35, 3.4028235e38f);
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

std::vector<std::string> g_lines;

TEST(LoadControl, SweepRangeFromTheDisplayAndTheFpsChoicesInIt)
{
    const std::tuple<const char*, bool, DetectionRecord, int32_t, int32_t, int32_t, bool> cases[] = {
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
    for (const auto& [what, hasRecord, record, refresh, lo, hi, capable] : cases)
    {
        const SweepRange r = ChooseSweepRange(hasRecord ? &record : nullptr, refresh);
        EXPECT_EQ(std::tie(r.lo, r.hi, r.capable), std::tie(lo, hi, capable)) << what;
    }
    // The menu's rate choices within a range, their default and debug lines.
    // lo, hi; firstUsable, upToHi, defaultFps and the box checked.
    const std::tuple<bool, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t> choices[] = {
        {true, 45, 60, 2, 6, 50, 3},  {true, 55, 60, 4, 6, 55, 4}, {true, 60, 60, 5, 6, 60, 5},
        {true, 35, 35, 0, 1, 35, 0},  {true, 35, 40, 0, 2, 40, 1}, {true, 35, 45, 0, 3, 45, 2},
        {false, 35, 60, 2, 6, 50, 3}, // without a record the low end becomes 45
    };
    const DetectionRecord display = Display(40000, 144000);
    for (const auto& [hasRecord, lo, hi, firstUsable, upToHi, defaultFps, checkedBox] : choices)
    {
        SCOPED_TRACE(testing::Message() << lo << "-" << hi);
        g_lines.clear();
        const FpsChoices ch = BuildFpsChoices(hasRecord ? &display : nullptr, lo, hi,
                                              [](const char* line) { g_lines.push_back(line); });
        EXPECT_EQ(std::tie(ch.firstUsable, ch.upToHi, ch.defaultFps),
                  std::tie(firstUsable, upToHi, defaultFps));
        for (int i = 0; i < kFpsChoiceCount; ++i)
            EXPECT_EQ(ch.checked[i], i == checkedBox) << "box " << i;
        ASSERT_EQ(g_lines.size(), 7u);
        EXPECT_EQ(g_lines[0], "fps: 35 min: " + std::to_string(hasRecord ? lo : 45) +
                                  "  max: " + std::to_string(hi) + " \n");
    }
}

struct Plant
{
    float baseMs, msPerGroup, noiseMs; // noise uniform in [-noiseMs, noiseMs]
    int lagFrames; // the frame time measured now is that of the load dispatched lagFrames ago
};

// The controller's log as the plot tool reads it: each frame against the target it was aimed at.
// The frame time is a base cost plus a cost per group plus noise, seen late as a real device
// delivers it.
std::vector<plotlog::Sample> Simulate(const Plant& p, LoadInputs in, int frames)
{
    LoadState st;
    uint32_t seed = 12345u; // fixed, so every run sees the same noise
    std::deque<int32_t> dispatched(static_cast<size_t>(p.lagFrames) + 1, 1);
    std::vector<plotlog::Sample> log;
    float measuredMs = p.baseMs;
    for (int f = 0; f < frames; ++f)
    {
        in.frameTime = measuredMs / 1000.0f;
        UpdateLoad(st, in);
        dispatched.push_back(st.computeThreads);
        dispatched.pop_front();
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        measuredMs = p.baseMs + p.msPerGroup * static_cast<float>(dispatched.front()) + p.noiseMs * noise;
        log.push_back({st.targetMs, measuredMs, st.computeThreads, st.threadIncrement});
    }
    return log;
}

TEST(LoadLoop, ReachesAFixedTargetAndFollowsTheSweep)
{
    // The rate, the low end of a sweep up to 60 (0: none), the plant, and the least fractions within
    // 1 ms and 2.5 ms of the target.
    const std::tuple<float, float, Plant, float, float> cases[] = {
        // Fixed rates (4 ms of scene, 10 us per group: 40 fps needs 2100 groups) settle in under
        // 1 s; then 0-3 group steps sit far below the 0.3 ms noise. The 35-60 sweep's target moves
        // 0.12-0.23 ms a frame (45-60: 0.05 ms): 3-group steps trail it by 1-2 ms on its steep
        // half until a 20-step catches up (34% and 85% within 1 ms, all within 2.5 ms).
        {40.0f, 0, {4.0f, 0.01f, 0.3f, 1}, 0.98f, 0.98f},
        {40.0f, 0, {4.0f, 0.01f, 0.3f, 2}, 0.98f, 0.98f},
        {60.0f, 0, {4.0f, 0.01f, 0.3f, 2}, 0.98f, 0.98f},
        {35.0f, 0, {2.0f, 0.002f, 0.3f, 2}, 0.98f, 0.98f}, // fast GPU: 13300 groups, steps scale
        {50.0f, 45.0f, {4.0f, 0.01f, 0.3f, 2}, 0.75f, 0.95f},
        {50.0f, 35.0f, {4.0f, 0.01f, 0.3f, 2}, 0.22f, 0.95f},
    };
    for (const auto& [fps, sweepLow, plant, minWithin, minNear] : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << fps << " fps, sweep from " << sweepLow << ", lag " << plant.lagFrames);
        const auto log = Simulate(plant, sweepLow > 0 ? Sweep(sweepLow) : Inputs(fps, 0), 1500);
        const plotlog::Tracking t = plotlog::Measure(log, 3.0f, 1.0f);
        EXPECT_GE(t.withinFraction, minWithin);
        EXPECT_GE(plotlog::Measure(log, 3.0f, 2.5f).withinFraction, minNear);
        if (sweepLow > 0) continue;
        EXPECT_TRUE(t.settleSeconds >= 0.0f && t.settleSeconds < 2.0f) << t.settleSeconds;
        const float needed = (1000.0f / fps - plant.baseMs) / plant.msPerGroup;
        EXPECT_NEAR(static_cast<float>(log.back().threads), needed, 1.0f / plant.msPerGroup);
    }
}

} // namespace
