// The load screen's fades, the red bar's sweep and fade, and the frame-time graph's window.
#include "overlays.h"

#include "demostate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <tuple>
#include <vector>

using namespace miCadora;

namespace
{

struct Overlay : ::testing::Test
{
    void SetUp() override { State().fade = State().barPosition = 0.0f; }
    bool started = false, ready = false;
};

// Fades in over exactly one second, waits while the scene is built, then covers it for three
// seconds and blends for one.
TEST_F(Overlay, LoadScreenFadesInWaitsAndFadesOut)
{
    for (int i = 1; i <= 9; ++i)
    {
        const LoadScreenFrame f = StepLoadScreen(0.1f, started, 0.0f, ready);
        EXPECT_TRUE(f.fadingIn && std::fabs(f.fadeIn - 0.1f * i) < 1e-5f) << i << ": " << f.fadeIn;
    }
    EXPECT_FALSE(started);
    const float fadeIn = StepLoadScreen(0.11f, started, 0.0f, ready).fadeIn;
    EXPECT_EQ(std::make_tuple(fadeIn, started, State().fade), std::make_tuple(1.0f, true, 4.0f));
    const LoadScreenFrame building = StepLoadScreen(0.5f, started, 0.6f, ready);
    EXPECT_EQ(std::make_tuple(building.fadingIn, building.fadingOut, building.loadBar, State().fade),
              std::make_tuple(false, false, 0.6f, 4.0f));
    // Frame time summed since the scene was built, and the blend weight then.
    const float t[] = {0.5f, 2.9f, 3.25f, 3.75f, 4.01f, 5.0f},
                blend[] = {1.0f, 1.0f, 0.75f, 0.25f, 0.0f, 0.0f};
    for (int i = 0; i < 6; ++i)
    {
        const LoadScreenFrame f = StepLoadScreen(t[i] - (i ? t[i - 1] : 0.0f), started, 1.05f, ready);
        EXPECT_TRUE(f.fadingOut && std::fabs(f.redbarFade - blend[i]) < 1e-5f)
            << t[i] << ": " << f.redbarFade;
        EXPECT_EQ(ready, i >= 4) << t[i];
    }
    EXPECT_FLOAT_EQ(State().fade, 0.0f);
    // A long first frame completes the fade-in at once.
    started = false;
    State().fade = 0.0f;
    EXPECT_EQ(StepLoadScreen(2.5f, started, 0.0f, ready).fadeIn, 1.0f);
    EXPECT_TRUE(started && State().fade == 4.0f);
}

TEST_F(Overlay, RedbarAdvancesRestartsFadesAndHandsTheFinalPassAZeroWeightOnce)
{
    const float slider[] = {0.65f, 0.3f, 1.0f, 25.0f, -2.0f},
                perSecond[] = {0.312f, 0.144f, 0.48f, 4.8f, 0.0f};
    for (int i = 0; i < 5; ++i)
    {
        State().fade = 1.0f;
        State().barPosition = 0.25f;
        StepRedbar(0.1f, true, slider[i]);
        EXPECT_NEAR(State().barPosition, 0.25f + perSecond[i] * 0.1f, 1e-5f) << slider[i];
    }
    // Runs until just past 1.2, then starts again from 0.
    State().barPosition = 0.0f;
    float prev = 0.0f;
    int wraps = 0;
    for (int i = 0; i < 240; ++i)
    {
        const RedbarFrame f = StepRedbar(1.0f / 60.0f, true, 1.0f);
        EXPECT_TRUE(f.draw && f.barPosition <= 1.2f) << f.barPosition;
        EXPECT_TRUE(f.barPosition >= prev || prev > 1.19f) << prev;
        wraps += f.barPosition < prev;
        prev = f.barPosition;
    }
    EXPECT_EQ(wraps, 1);
    // Fades in and out by the frame time and reverses mid-fade; hidden, the bar does not move. The
    // final pass blends with the last weight it was handed, so switching off must end on a 0, once.
    State().fade = State().barPosition = 0.0f;
    // Visible; then whether it is drawn, sets the weight, and the weight.
    const std::tuple<bool, bool, bool, float> steps[] = {
        {false, false, false, 0.0f}, {true, true, true, 0.25f},  {true, true, true, 0.5f},
        {true, true, true, 0.75f},   {true, true, true, 1.0f},   {true, true, true, 1.0f},
        {false, true, true, 0.75f},  {false, true, true, 0.5f},  {true, true, true, 0.75f},
        {false, true, true, 0.5f},   {false, true, true, 0.25f}, {false, false, true, 0.0f},
        {false, false, false, 0.0f}};
    for (size_t i = 0; i < std::size(steps); ++i)
    {
        SCOPED_TRACE(i);
        const auto& [visible, draw, setFade, weight] = steps[i];
        const float bar = State().barPosition;
        const RedbarFrame f = StepRedbar(0.25f, visible, 0.65f);
        EXPECT_EQ(std::make_tuple(f.draw, f.setFade, f.redbarFade, State().fade),
                  std::make_tuple(draw, setFade, weight, weight));
        EXPECT_TRUE(f.draw || State().barPosition == bar);
    }
}

// The window always runs oldest to newest: after n samples of value 1, 2, 3, ... sample i is
// the (n - 32 + i + 1)-th.
TEST(FrameGraph, WindowKeepsTheLast32InTimeOrderAndLinesSpanTheUpperRightBand)
{
    for (int n : {32, 33, 40, 63, 64, 65, 100})
    {
        FrameTimeGraph g;
        for (int k = 1; k <= n; ++k)
            g.Add(static_cast<float>(k));
        for (int i = 0; i < 32; ++i)
            EXPECT_FLOAT_EQ(g.Sample(i), static_cast<float>(n - 32 + i + 1)) << n << " " << i;
    }
    // 60 fps: 16.667 ms on target; 16.0 too fast, 17.5 too slow, one sample exactly on target.
    // Nothing is drawn until the 32nd sample.
    FrameTimeGraph g;
    std::vector<LineVertex> v(200);
    for (int k = 0; k < 31; ++k)
    {
        g.Add(k == 0 ? 16.0f : 1000.0f / 60.0f);
        EXPECT_EQ(g.BuildLines(60.0f, v.data(), 200), 0) << k;
    }
    g.Add(17.5f);
    EXPECT_EQ(g.BuildLines(0.0f, v.data(), 200), 0);
    // A list too small for the whole graph is filled, never overrun.
    EXPECT_EQ(g.BuildLines(60.0f, v.data(), 7), 6);
    ASSERT_EQ(g.BuildLines(60.0f, v.data(), 200), 62);
    EXPECT_NEAR(v[1].y, 0.85f, 1e-4f);
    EXPECT_EQ(std::make_tuple(v[61].x, v[61].y), std::make_tuple(31 * 0.03125f, 1.0f));
    for (int k = 0; k < 31; ++k) // segments join: each one starts where the previous one ended
        EXPECT_EQ(std::make_tuple(v[2 * k].x, v[2 * k + 1].x, v[2 * k].y),
                  std::make_tuple(k * 0.03125f, (k + 1) * 0.03125f, k > 0 ? v[2 * k - 1].y : 0.7f))
            << k;
    EXPECT_EQ(std::make_tuple(v[5].r, v[5].g, v[5].a), std::make_tuple(1.0f, 0.0f, 0.5f));
}

} // namespace
