// The control law in a closed loop with a simulated GPU: the frame time is a base cost plus a
// cost per group plus noise, seen one or two frames late, as a real device delivers it.
#include "loadcontrol.h"
#include "core/props.h"
#include "plotlog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

namespace
{

using namespace miCadora;

struct Plant
{
    float baseMs, msPerGroup, noiseMs; // noise uniform in [-noiseMs, noiseMs]
    int lagFrames; // the frame time measured now is that of the load dispatched lagFrames ago
};

// The controller's log as the plot tool reads it: each frame against the target it was aimed at.
std::vector<plotlog::Sample> Simulate(const Plant& p, LoadInputs in, int frames, int32_t& finalThreads)
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
    finalThreads = st.computeThreads;
    return log;
}

TEST(LoadLoop, ReachesAFixedTargetAndFollowsTheSweep)
{
    mirel::ClearProperties();
    struct Case
    {
        float fps, sweepLow; // sweepLow 0: a fixed rate, otherwise a sweep up to 60
        Plant plant;
        float minWithin, minNear;
    };
    // Fixed rates (4 ms of scene, 10 us per group: 40 fps needs 2100 groups): the climb takes
    // 200-group steps, then 20-group ones near the target, and settles in under 1 s; on target
    // the 0-3 group steps are far below the 0.3 ms noise, so 0.98 allows only the odd step taken
    // on a noise peak. Sweeps: the 35-60 target moves 0.12-0.23 ms a frame (45-60: 0.05 ms), so
    // on its steep half 3-group steps leave the error between 1 and 2 ms until a 20-step pulls it
    // back; the simulation keeps 85% (45-60) and 34% (35-60) within 1 ms, 100% within 2.5 ms.
    const Case cases[] = {
        {40.0f, 0, {4.0f, 0.01f, 0.3f, 1}, 0.98f, 0.98f},
        {40.0f, 0, {4.0f, 0.01f, 0.3f, 2}, 0.98f, 0.98f},
        {60.0f, 0, {4.0f, 0.01f, 0.3f, 2}, 0.98f, 0.98f},
        {35.0f, 0, {2.0f, 0.002f, 0.3f, 2}, 0.98f, 0.98f}, // fast GPU: 13300 groups, steps scale
        {50.0f, 45.0f, {4.0f, 0.01f, 0.3f, 2}, 0.75f, 0.95f},
        {50.0f, 35.0f, {4.0f, 0.01f, 0.3f, 2}, 0.22f, 0.95f},
    };
    for (const Case& c : cases)
    {
        LoadInputs in;
        in.targetFps = c.fps;
        in.sweepSwitch = c.sweepLow > 0 ? 1.0f : 0.0f;
        in.sweepLowFps = c.sweepLow;
        in.sweepHighFps = 60.0f;
        int32_t threads = 0;
        const std::vector<plotlog::Sample> log = Simulate(c.plant, in, 1500, threads);
        const plotlog::Tracking t = plotlog::Measure(log, 3.0f, 1.0f);
        const float nearFraction = plotlog::Measure(log, 3.0f, 2.5f).withinFraction;
        std::printf(
            "%.0f fps, sweep from %.0f, lag %d: settled after %.2f s, %.1f%% within 1 ms, %.1f%% within "
            "2.5 ms, %d groups\n",
            c.fps, c.sweepLow, c.plant.lagFrames, t.settleSeconds, 100.0f * t.withinFraction,
            100.0f * nearFraction, threads);
        EXPECT_GE(t.withinFraction, c.minWithin) << c.fps << " " << c.sweepLow;
        EXPECT_GE(nearFraction, c.minNear) << c.fps << " " << c.sweepLow;
        if (c.sweepLow > 0) continue;
        EXPECT_GE(t.settleSeconds, 0.0f) << c.fps;
        EXPECT_LT(t.settleSeconds, 2.0f) << c.fps;
        const float needed = (1000.0f / c.fps - c.plant.baseMs) / c.plant.msPerGroup;
        EXPECT_NEAR(static_cast<float>(threads), needed, 1.0f / c.plant.msPerGroup) << c.fps;
    }
}

} // namespace
