#include "overlays.h"

#include "demostate.h"

namespace miCadora
{

LineVertex* DebugLines()
{
    static LineVertex lines[kDebugLineCapacity] = {};
    return lines;
}

namespace
{
float Clamp(float v, float lo, float hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}
} // namespace

LoadScreenFrame StepLoadScreen(float dt, bool& loadStarted, float loadProgress, bool& sceneReady)
{
    LoadScreenFrame f;
    float& fade = State().fade;
    if (!loadStarted)
    {
        fade = Clamp(fade + dt, 0.0f, 1.0f);
        f.fadingIn = true;
        f.fadeIn = fade;
        if (fade >= 1.0f)
        {
            loadStarted = true;
            // Three seconds of full cover over the finished scene, then a one-second blend.
            fade = 4.0f;
        }
    }
    if (loadProgress >= 1.0f)
    {
        fade = Clamp(fade - dt, 0.0f, 4.0f);
        f.fadingOut = true;
        f.redbarFade = fade < 1.0f ? fade : 1.0f;
        if (fade <= 0.0f) sceneReady = true;
    }
    f.loadBar = loadProgress;
    return f;
}

RedbarFrame StepRedbar(float dt, bool visible, float speedSlider)
{
    RedbarFrame f;
    float& fade = State().fade;
    float& barPosition = State().barPosition;
    const float before = fade;
    if (visible)
    {
        if (fade < 1.0f) fade += dt;
    }
    else if (fade > 0.0f)
    {
        fade -= dt;
    }
    if (fade > 1.0f)
        fade = 1.0f;
    else if (fade < 0.0f)
        fade = 0.0f;
    f.barPosition = barPosition;
    // The final pass keeps blending with the last weight it was given: the step that ends the
    // fade-out hands it the 0.
    f.setFade = fade > 0.0f || before > 0.0f;
    if (fade <= 0.0f) return f;
    f.redbarFade = fade;
    const float s = Clamp(speedSlider, 0.0f, 10.0f);
    barPosition += (s - 0.0f) / 10.0f * 12.0f * 0.4f * dt;
    if (static_cast<double>(barPosition) > 1.2) barPosition = 0.0f;
    f.barPosition = barPosition;
    f.draw = true;
    return f;
}

void FrameTimeGraph::Reset()
{
    for (float& s : samples_)
        s = 0.0f;
    writeIndex_ = 0;
    full_ = false;
}

void FrameTimeGraph::Add(float frameMs)
{
    samples_[writeIndex_] = frameMs;
    writeIndex_ = (writeIndex_ + 1) % kSamples;
    if (writeIndex_ == 0) full_ = true;
}

float FrameTimeGraph::Sample(int32_t i) const
{
    const int32_t oldest = full_ ? writeIndex_ : 0;
    return samples_[(oldest + (i % kSamples + kSamples) % kSamples) % kSamples];
}

float GraphY(float frameMs, float targetFps)
{
    const float t = 1.0f / targetFps * 1000.0f;
    const float lo = t - 0.5f;
    const float range = (t + 0.5f) - lo;
    return Clamp((frameMs - lo) / range, 0.0f, 1.0f) * 0.3f + 0.7f;
}

int32_t FrameTimeGraph::BuildLines(float targetFps, LineVertex* out, int32_t capacity) const
{
    if (!full_ || !(targetFps > 0.0f) || !out) return 0;
    int32_t n = 0;
    for (int32_t k = 0; k < kSegments && n + 2 <= capacity; ++k)
    {
        const float ya = GraphY(Sample(k), targetFps);
        const float yb = GraphY(Sample(k + 1), targetFps);
        out[n++] = {static_cast<float>(k) * 0.03125f, ya, 0.0f, 1.0f, 0.0f, 0.0f, 0.5f};
        out[n++] = {static_cast<float>(k + 1) * 0.03125f, yb, 0.0f, 1.0f, 0.0f, 0.0f, 0.5f};
    }
    return n;
}

} // namespace miCadora
