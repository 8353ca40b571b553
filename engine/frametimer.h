// Stopwatch on the performance counter; the frame timer's delta is the engine's frame time.
#pragma once

#include "core/datastructs.h"

#include <cstdint>

namespace mirel
{

class FrameTimer
{
  public:
    FrameTimer();
    // A timer destroyed between ticks records its last interval.
    ~FrameTimer();
    FrameTimer(const FrameTimer&) = delete;
    FrameTimer& operator=(const FrameTimer&) = delete;

    void Reset();
    // Once per arming: a second Tick before ticked is cleared changes nothing.
    void Tick();

    int64_t now = 0;
    int64_t start = 0;
    int64_t frequency = 0;
    float previousElapsed = 0.0f;
    float delta = 0.0f;
    float instantFps = 0.0f;
    float fps = 0.0f;
    float secondAccumulator = 0.0f;
    float secondFrames = 0.0f;
    float elapsed = 0.0f;
    uint8_t ticked = 0;
    DTArray<float> samples;
    float averageFps = 0.0f;
};

// The counter the timers read; tests replace it with a scripted clock (null restores the real one).
using CounterSource = int64_t (*)(int64_t* frequency);
void SetCounterSource(CounterSource source);
int64_t ReadCounter();
int64_t ReadCounterFrequency();

extern FrameTimer g_frameTimer;
extern FrameTimer g_updateTimer;
extern FrameTimer g_presentTimer;
// Milliseconds of the last update step and of the last present, for the overlays.
extern float g_updateMs;
extern float g_presentMs;

// The engine's frame delta time in seconds.
inline float FrameDelta()
{
    return g_frameTimer.delta;
}

} // namespace mirel
