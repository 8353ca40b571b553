// The load screen's fades, the red bar's sweep and fade, and the frame-time graph's window.
#include "overlays.h"

#include "demostate.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class Overlay : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        miCadora::State().fade = 0.0f;
        miCadora::State().barPosition = 0.0f;
    }
};

TEST_F(Overlay, LoadScreenFadesInOverExactlyOneSecond)
{
    bool started = false, ready = false;
    float shown = 0.0f;
    for (int i = 0; i < 9; ++i)
    {
        const miCadora::LoadScreenFrame f = miCadora::StepLoadScreen(0.1f, started, 0.0f, ready);
        EXPECT_TRUE(f.fadingIn);
        EXPECT_GT(f.fadeIn, shown);
        shown = f.fadeIn;
    }
    EXPECT_FALSE(started);
    EXPECT_NEAR(shown, 0.9f, 1e-5f);
    const miCadora::LoadScreenFrame last = miCadora::StepLoadScreen(0.11f, started, 0.0f, ready);
    EXPECT_FLOAT_EQ(last.fadeIn, 1.0f);
    EXPECT_TRUE(started);
    EXPECT_FLOAT_EQ(miCadora::State().fade, 4.0f);
    // Building: the fade waits at 4 while the bar shows the progress.
    const miCadora::LoadScreenFrame building = miCadora::StepLoadScreen(0.5f, started, 0.6f, ready);
    EXPECT_FALSE(building.fadingIn);
    EXPECT_FALSE(building.fadingOut);
    EXPECT_FLOAT_EQ(building.loadBar, 0.6f);
    EXPECT_FLOAT_EQ(miCadora::State().fade, 4.0f);
}

TEST_F(Overlay, LongFrameCompletesTheFadeInAtOnce)
{
    bool started = false, ready = false;
    const miCadora::LoadScreenFrame f = miCadora::StepLoadScreen(2.5f, started, 0.0f, ready);
    EXPECT_FLOAT_EQ(f.fadeIn, 1.0f);
    EXPECT_TRUE(started);
    EXPECT_FLOAT_EQ(miCadora::State().fade, 4.0f);
}

TEST_F(Overlay, FadeOutCoversForThreeSecondsThenBlendsForOne)
{
    bool started = true, ready = false;
    miCadora::State().fade = 4.0f;
    struct Step
    {
        float t;     // frame time summed since the scene was built
        float blend; // expected "redbarFade"
        bool ready;
    } steps[] = {{0.5f, 1.0f, false},   {2.9f, 1.0f, false}, {3.25f, 0.75f, false},
                 {3.75f, 0.25f, false}, {4.01f, 0.0f, true}, {5.0f, 0.0f, true}};
    float t = 0.0f;
    for (const Step& s : steps)
    {
        const miCadora::LoadScreenFrame f = miCadora::StepLoadScreen(s.t - t, started, 1.05f, ready);
        t = s.t;
        EXPECT_TRUE(f.fadingOut) << s.t;
        EXPECT_NEAR(f.redbarFade, s.blend, 1e-5f) << s.t;
        EXPECT_EQ(ready, s.ready) << s.t;
    }
    EXPECT_FLOAT_EQ(miCadora::State().fade, 0.0f);
}

struct BarCase
{
    const char* what;
    float slider;
    float perSecond;
};

class RedbarSpeed : public Overlay, public ::testing::WithParamInterface<BarCase>
{
};

TEST_P(RedbarSpeed, AdvancesSteadilyAndRestartsPastTheEdge)
{
    const BarCase& c = GetParam();
    miCadora::State().fade = 1.0f;
    miCadora::StepRedbar(0.1f, true, c.slider);
    EXPECT_NEAR(miCadora::State().barPosition, c.perSecond * 0.1f, 1e-5f) << c.what;
    if (c.perSecond <= 0.0f) return;
    const float dt = 1.0f / 60.0f;
    miCadora::State().barPosition = 0.0f;
    for (int i = 0; i < 60; ++i)
        miCadora::StepRedbar(dt, true, c.slider);
    if (c.perSecond < 1.2f)
    {
        EXPECT_NEAR(miCadora::State().barPosition, c.perSecond, 1e-4f) << c.what;
    }
    // Runs until just past 1.2, then starts again from 0.
    const int frames = static_cast<int>(1.2f / (c.perSecond * dt)) + 2;
    float prev = miCadora::State().barPosition;
    bool wrapped = false;
    for (int i = 0; i < frames; ++i)
    {
        const miCadora::RedbarFrame f = miCadora::StepRedbar(dt, true, c.slider);
        EXPECT_TRUE(f.draw);
        EXPECT_LE(f.barPosition, 1.2f);
        if (f.barPosition < prev) wrapped = true;
        prev = f.barPosition;
    }
    EXPECT_TRUE(wrapped) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Sliders, RedbarSpeed,
                         ::testing::Values(BarCase{"default", 0.65f, 0.312f},
                                           BarCase{"slowest", 0.3f, 0.144f}, BarCase{"fastest", 1.0f, 0.48f},
                                           BarCase{"clamped above", 25.0f, 4.8f},
                                           BarCase{"clamped below", -2.0f, 0.0f}));

TEST_F(Overlay, RedbarFadesInAndReversesMidFade)
{
    miCadora::RedbarFrame f = miCadora::StepRedbar(0.25f, false, 0.65f);
    EXPECT_FALSE(f.draw); // hidden: nothing drawn, the bar does not move
    EXPECT_FLOAT_EQ(miCadora::State().barPosition, 0.0f);
    f = miCadora::StepRedbar(0.25f, true, 0.65f);
    EXPECT_TRUE(f.draw);
    EXPECT_FLOAT_EQ(f.redbarFade, 0.25f);
    for (int i = 0; i < 4; ++i)
        f = miCadora::StepRedbar(0.25f, true, 0.65f);
    EXPECT_FLOAT_EQ(f.redbarFade, 1.0f);
    f = miCadora::StepRedbar(0.25f, false, 0.65f);
    f = miCadora::StepRedbar(0.25f, false, 0.65f);
    EXPECT_FLOAT_EQ(f.redbarFade, 0.5f);
    // Checked again half-way out: back up from where it was.
    f = miCadora::StepRedbar(0.25f, true, 0.65f);
    EXPECT_FLOAT_EQ(f.redbarFade, 0.75f);
    for (int i = 0; i < 5; ++i)
        f = miCadora::StepRedbar(0.25f, false, 0.65f);
    EXPECT_FALSE(f.draw);
    EXPECT_FLOAT_EQ(miCadora::State().fade, 0.0f);
}

// The final pass blends with the last weight it was handed, so switching off must end on a 0.
TEST_F(Overlay, RedbarSwitchedOffHandsTheFinalPassAZeroWeightOnce)
{
    struct Step
    {
        bool visible, draw, setFade;
        float weight;
    };
    const Step steps[] = {{false, false, false, 0.0f}, {true, true, true, 0.3f},
                          {true, true, true, 0.6f},    {false, true, true, 0.3f},
                          {false, false, true, 0.0f},  {false, false, false, 0.0f}};
    for (const Step& s : steps)
    {
        const miCadora::RedbarFrame f = miCadora::StepRedbar(0.3f, s.visible, 0.65f);
        EXPECT_EQ(f.draw, s.draw) << s.weight;
        EXPECT_EQ(f.setFade, s.setFade) << s.weight;
        EXPECT_NEAR(f.redbarFade, s.weight, 1e-5f);
    }
}

TEST(FrameGraph, DrawsNothingUntilThe32ndSample)
{
    miCadora::FrameTimeGraph g;
    std::vector<miCadora::LineVertex> v(200);
    for (int i = 0; i < 31; ++i)
    {
        g.Add(16.0f);
        EXPECT_EQ(g.BuildLines(60.0f, v.data(), 200), 0) << i;
    }
    g.Add(16.0f);
    EXPECT_EQ(g.BuildLines(60.0f, v.data(), 200), 62);
    EXPECT_EQ(g.BuildLines(0.0f, v.data(), 200), 0);
}

// The window always runs oldest to newest: after n samples of value 1, 2, 3, ... sample i is
// the (n - 32 + i + 1)-th.
TEST(FrameGraph, WindowKeepsTheLast32InTimeOrder)
{
    for (int n : {32, 33, 40, 63, 64, 65, 100})
    {
        miCadora::FrameTimeGraph g;
        for (int k = 1; k <= n; ++k)
            g.Add(static_cast<float>(k));
        for (int i = 0; i < 32; ++i)
            EXPECT_FLOAT_EQ(g.Sample(i), static_cast<float>(n - 32 + i + 1)) << n << " " << i;
    }
}

TEST(FrameGraph, LinesSpanTheUpperRightBand)
{
    miCadora::FrameTimeGraph g;
    // 60 fps: 16.667 ms on target; 16.0 too fast, 17.5 too slow, one sample exactly on target.
    for (int k = 0; k < 32; ++k)
        g.Add(k == 0 ? 16.0f : k == 31 ? 17.5f : 1000.0f / 60.0f);
    std::vector<miCadora::LineVertex> v(200);
    ASSERT_EQ(g.BuildLines(60.0f, v.data(), 200), 62);
    EXPECT_FLOAT_EQ(v[0].x, 0.0f);
    EXPECT_FLOAT_EQ(v[0].y, 0.7f);
    EXPECT_NEAR(v[1].y, 0.85f, 1e-4f);
    EXPECT_FLOAT_EQ(v[61].x, 31 * 0.03125f);
    EXPECT_FLOAT_EQ(v[61].y, 1.0f);
    for (int k = 0; k < 31; ++k)
    {
        EXPECT_FLOAT_EQ(v[2 * k].x, k * 0.03125f);
        EXPECT_FLOAT_EQ(v[2 * k + 1].x, (k + 1) * 0.03125f);
        // Segments join: each one starts where the previous one ended.
        if (k > 0)
        {
            EXPECT_FLOAT_EQ(v[2 * k].y, v[2 * k - 1].y);
        }
    }
    EXPECT_FLOAT_EQ(v[5].r, 1.0f);
    EXPECT_FLOAT_EQ(v[5].g, 0.0f);
    EXPECT_FLOAT_EQ(v[5].a, 0.5f);
    // A list too small for the whole graph is filled, never overrun.
    EXPECT_EQ(g.BuildLines(60.0f, v.data(), 7), 6);
}

} // namespace
