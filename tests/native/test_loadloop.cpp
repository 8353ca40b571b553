// The control law in a closed loop with a simulated GPU: the frame time is a base cost plus a
// cost per group plus noise, seen one or two frames late, as a real device delivers it.
#include "loadcontrol.h"
#include "core/props.h"

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
    float baseMs;
    float msPerGroup;
    float noiseMs; // uniform in [-noiseMs, noiseMs]
    int lagFrames; // the frame time measured now is that of the load dispatched lagFrames ago
};

struct Tracking
{
    int settleFrame;      // first frame from which the next second stays within +-1 ms (-1: never)
    float settleSeconds;  // simulated time to that frame
    float withinFraction; // frames within +-1 ms of their target after skipSeconds
    float nearFraction;   // the same within +-2.5 ms
    int32_t finalThreads;
};

// A fixed-seed generator, so every run sees the same noise.
struct Lcg
{
    uint32_t s = 12345u;
    float Uniform() // [-1, 1)
    {
        s = s * 1664525u + 1013904223u;
        return static_cast<float>(s >> 8) / 8388608.0f - 1.0f;
    }
};

Tracking Simulate(const Plant& p, LoadInputs in, int frames, float skipSeconds)
{
    LoadState st;
    Lcg rng;
    std::deque<int32_t> dispatched(static_cast<size_t>(p.lagFrames) + 1, 1);
    Tracking t{-1, 0.0f, 0.0f, 0.0f, 0};
    float clock = 0.0f, measuredMs = p.baseMs;
    int counted = 0, inside = 0, near = 0;
    std::vector<float> times;
    std::vector<bool> ok;
    for (int f = 0; f < frames; ++f)
    {
        in.frameTime = measuredMs / 1000.0f;
        UpdateLoad(st, in);
        dispatched.push_back(st.computeThreads);
        dispatched.pop_front();
        measuredMs =
            p.baseMs + p.msPerGroup * static_cast<float>(dispatched.front()) + p.noiseMs * rng.Uniform();
        clock += measuredMs / 1000.0f;
        // The frame just simulated is judged against the target it was aimed at.
        const bool good = std::fabs(measuredMs - st.targetMs) <= 1.0f;
        times.push_back(clock);
        ok.push_back(good);
        if (clock > skipSeconds)
        {
            ++counted;
            inside += good;
            near += std::fabs(measuredMs - st.targetMs) <= 2.5f;
        }
    }
    for (size_t i = 0; i < ok.size() && t.settleFrame < 0; ++i)
    {
        bool stays = true;
        for (size_t j = i; j < ok.size() && times[j] < times[i] + 1.0f; ++j)
            stays &= ok[j];
        if (stays && times.back() > times[i] + 1.0f)
        {
            t.settleFrame = static_cast<int>(i);
            t.settleSeconds = times[i];
        }
    }
    t.withinFraction = counted ? static_cast<float>(inside) / static_cast<float>(counted) : 0.0f;
    t.nearFraction = counted ? static_cast<float>(near) / static_cast<float>(counted) : 0.0f;
    t.finalThreads = st.computeThreads;
    return t;
}

TEST(LoadLoop, ColdStartReachesAFixedTargetAndStays)
{
    mirel::ClearProperties();
    // 4 ms of scene, 10 us per group: 40 fps needs 2100 groups, 21 ms above the cold start.
    struct Case
    {
        float fps;
        Plant plant;
    };
    const Case cases[] = {
        {40.0f, {4.0f, 0.01f, 0.3f, 1}},
        {40.0f, {4.0f, 0.01f, 0.3f, 2}},
        {60.0f, {4.0f, 0.01f, 0.3f, 2}},
        {35.0f, {2.0f, 0.002f, 0.3f, 2}}, // a fast GPU: 13300 groups, steps scaled by the load
    };
    for (const Case& c : cases)
    {
        LoadInputs in;
        in.targetFps = c.fps;
        const Tracking t = Simulate(c.plant, in, 1200, 3.0f);
        std::printf(
            "fixed %.0f fps, lag %d: settled after %.2f s (frame %d), %.1f%% within 1 ms, %d groups\n", c.fps,
            c.plant.lagFrames, t.settleSeconds, t.settleFrame, 100.0f * t.withinFraction, t.finalThreads);
        // The climb is at most 21 ms / 2 ms per 200-group step, then 20-group steps near the
        // target: the simulation settles in under 1 s; 2 s leaves room for a slower plant.
        EXPECT_GE(t.settleFrame, 0);
        EXPECT_LT(t.settleSeconds, 2.0f);
        // On target the steps are 0-3 groups (<0.03 ms) against 0.3 ms of noise: every frame
        // stays within 1 ms; 0.98 allows for the odd step taken on a noise peak.
        EXPECT_GE(t.withinFraction, 0.98f);
        const float needed = (1000.0f / c.fps - c.plant.baseMs) / c.plant.msPerGroup;
        EXPECT_NEAR(static_cast<float>(t.finalThreads), needed, 1.0f / c.plant.msPerGroup);
    }
}

TEST(LoadLoop, FollowsTheSweep)
{
    mirel::ClearProperties();
    struct Case
    {
        float lo, hi, minWithin, minNear;
    };
    // The target frame time moves at up to A x (2 pi / period) x 1000 / fps^2 per second: about
    // 0.05 ms per frame for 45-60 (A = 7, period 2 pi s) but 0.12-0.23 ms for 35-60 (A = 12,
    // period 7.54 s). Above 1000 groups a 3-step moves the frame time by 3 x load / 1000, about
    // 0.06 ms, so on the steep half of the wider sweep the error rides between 1 and 2 ms until
    // a 20-step (0.4 ms) pulls it back. The simulation (noise 0.3 ms, lag 2) keeps 85% of the
    // frames within 1 ms for 45-60 but only about 32% for 35-60, and 100% of both within 2.5 ms.
    // The thresholds sit about 10 points below what the simulation gives.
    const Case cases[] = {{45.0f, 60.0f, 0.75f, 0.95f}, {35.0f, 60.0f, 0.22f, 0.95f}};
    for (const Case& c : cases)
    {
        LoadInputs in;
        in.targetFps = 50.0f;
        in.sweepSwitch = 1.0f;
        in.sweepLowFps = c.lo;
        in.sweepHighFps = c.hi;
        const Plant plant{4.0f, 0.01f, 0.3f, 2};
        const Tracking t = Simulate(plant, in, 1500, 3.0f);
        std::printf("sweep %.0f-%.0f: %.1f%% within 1 ms, %.1f%% within 2.5 ms\n", c.lo, c.hi,
                    100.0f * t.withinFraction, 100.0f * t.nearFraction);
        EXPECT_GE(t.withinFraction, c.minWithin) << c.lo << "-" << c.hi;
        EXPECT_GE(t.nearFraction, c.minNear) << c.lo << "-" << c.hi;
    }
}

} // namespace
