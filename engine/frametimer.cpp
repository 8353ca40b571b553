#include "frametimer.h"

#include "core/sys.h"

#include <atomic>

namespace mirel
{

namespace
{
std::atomic<CounterSource> g_source{nullptr};
constexpr int32_t kAverageWindow = 16;
} // namespace

void SetCounterSource(CounterSource source)
{
    g_source.store(source);
}

int64_t ReadCounter()
{
    CounterSource source = g_source.load();
    return source ? source(nullptr) : sys::PerformanceCounter(nullptr);
}

int64_t ReadCounterFrequency()
{
    int64_t frequency = 0;
    CounterSource source = g_source.load();
    if (source)
        source(&frequency);
    else
        sys::PerformanceCounter(&frequency);
    return frequency;
}

FrameTimer::FrameTimer() : samples("frameTimerSamples")
{
    Reset();
}

FrameTimer::~FrameTimer()
{
    if (!ticked) Tick();
}

void FrameTimer::Reset()
{
    now = 0;
    previousElapsed = delta = instantFps = fps = 0.0f;
    secondAccumulator = secondFrames = elapsed = averageFps = 0.0f;
    ticked = 0;
    samples.Clear();
    frequency = ReadCounterFrequency();
    start = ReadCounter();
}

void FrameTimer::Tick()
{
    if (ticked) return;
    now = ReadCounter();
    if (frequency == 0) return;
    previousElapsed = elapsed;
    elapsed = static_cast<float>(static_cast<double>(now - start) / static_cast<double>(frequency));
    delta = elapsed - previousElapsed;
    secondAccumulator += delta;
    instantFps = 1.0f / delta;
    secondFrames += 1.0f;
    if (secondAccumulator > 1.0f)
    {
        fps = secondFrames;
        secondAccumulator = 0.0f;
        secondFrames = 0.0f;
    }
    samples.Append(instantFps);
    if (samples.count >= kAverageWindow)
    {
        float sum = 0.0f;
        for (int32_t i = 0; i < samples.count; ++i)
            sum += samples.Data()[i];
        averageFps = sum / static_cast<float>(samples.count);
        samples.Clear();
    }
    ticked = 1;
}

FrameTimer g_frameTimer;
FrameTimer g_updateTimer;
FrameTimer g_presentTimer;
float g_updateMs = 0.0f;
float g_presentMs = 0.0f;

} // namespace mirel
