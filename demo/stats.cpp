#include "stats.h"

#include "detect.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace miCadora
{

const float kStatsFiguresColour[4] = {0.7843f, 0.1098f, 0.0f, 1.0f};
const float kStatsWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};
const float kStatsRed[4] = {1.0f, 0.0f, 0.0f, 1.0f};

namespace
{

constexpr float kMaxShownFps = 2000.0f;

// printf rules into a buffer wider than a line, then through the restricted formatter as "%s", so
// that every line meets the list's own length rule.
void Line(mirel::TextList& list, const float colour[4], const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    mirel::FormatText(list, colour, "%s", buffer);
}

float RateFromMs(float ms)
{
    return ms == 0.0f ? 0.0f : 1.0f / (ms * 0.001f);
}

float ClampShown(float v)
{
    return std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, kMaxShownFps);
}

void Reset(mirel::TextList& list, float x, float y)
{
    list.count = 0;
    list.x = x;
    list.y = y;
}

} // namespace

int32_t TruncateToInt(float v)
{
    // 2^31 is exactly representable; everything strictly inside (-2^31 - 1, 2^31) truncates safely.
    if (!(v > -2147483649.0f && v < 2147483648.0f)) return 0;
    return static_cast<int32_t>(v);
}

StatsRates ChooseRates(const StatsInputs& in)
{
    StatsRates r{in.instantFps, in.averageFps};
    if (in.useGpuQuery)
    {
        r.instant = RateFromMs(in.gpuFrameMs);
        r.average = RateFromMs(in.gpuSecondMs);
    }
    if (in.gpuTimingFault)
    {
        r.instant *= 2.0f;
        r.average *= 2.0f;
    }
    return r;
}

void BuildSummary(const StatsInputs& in, mirel::TextList& list)
{
    if (in.outputHeight < 1080)
        Reset(list, static_cast<float>(in.outputWidth - 350), 10.0f);
    else
        Reset(list, 10.0f, 780.0f);

    StatsRates rates = ChooseRates(in);
    if (in.showStats)
    {
        // Milliseconds per frame over the last whole second; none before a second has passed.
        const int32_t msPerFrame = in.fps > 0.0f ? TruncateToInt(1.0f / in.fps * 1000.0f) : 0;
        Line(list, kStatsFiguresColour, "CPU FPS :  %d  -- %6.4f ", msPerFrame, in.delta * 1000.0f);
        Line(list, kStatsFiguresColour, "GPU MS :  %6.2f", in.gpuFrameMs);
        Line(list, kStatsFiguresColour, "GPU Frame Time (ms) :  %d", TruncateToInt(in.gpuSecondMs));
        Line(list, kStatsFiguresColour, "Frame #= %llu", static_cast<unsigned long long>(in.frameCounter));
        return;
    }
    rates.instant = ClampShown(rates.instant);
    rates.average = ClampShown(rates.average);
    Line(list, kStatsWhite, "                 Instant FPS :  %6.4f", rates.instant);
    Line(list, kStatsWhite, "Moving Average FPS :  %6.2f", rates.average);
    Line(list, kStatsWhite, " ");
    Line(list, kStatsWhite, "Korvo Cadora(TM) Compatible Display :  %s",
         IsCompatible(in.detection) ? "YES" : "NO");
    Line(list, kStatsWhite, " ");
    Line(list, kStatsWhite, "GPU: %s", in.adapterName ? in.adapterName : "");
    Line(list, kStatsWhite, "GPU Memory (MB): %d", in.videoMemoryMB);
    Line(list, kStatsWhite, "Resolution: %d x %d", in.outputWidth, in.outputHeight);
    Line(list, kStatsWhite, "Desktop Resolution: %d x %d", TruncateToInt(in.desktopX),
         TruncateToInt(in.desktopY));
    Line(list, kStatsWhite, "Korvo Cadora(TM) Demo Build Version: %s", kBuildVersion);
}

void BuildStatsBlock(const StatsInputs& in, mirel::TextList& list)
{
    Reset(list, 360.0f, 400.0f);
    if (!in.showStats) return;
    Line(list, kStatsRed,
         "Update: %f  -- Present: %f  -- Profile: %f  --  Threads: %d -- Thread Increment: %d -- "
         "bifrexActive: %d, "
         "ringBufferSize: %d",
         in.updateMs, in.presentMs, 0.0, in.computeThreads, in.threadIncrement, in.gpuTimingFault ? 1 : 0,
         in.queryRingSize);
    Line(list, kStatsRed, "Using Refresh Rate: %d -- Max Refresh Rate: %d", in.usedRefreshHz,
         in.maxRefreshHz);
    if (in.threadHistory && in.threadHistoryCount > 0)
    {
        const int32_t* end = in.threadHistory + in.threadHistoryCount;
        Line(list, kStatsRed, "Min Threads: %d  -- Max Threads: %d", *std::min_element(in.threadHistory, end),
             *std::max_element(in.threadHistory, end));
    }
    if (IsCompatible(in.detection))
        Line(list, kStatsRed, "minRefresh: %d -- maxRefresh: %d",
             static_cast<int>(static_cast<uint32_t>(in.detection->minRefreshMilliHz) / 1000u),
             static_cast<int>(static_cast<uint32_t>(in.detection->maxRefreshMilliHz) / 1000u));
    Line(list, kStatsRed, " ");
    Line(list, kStatsRed, "Cadora Demo Build Version: %s", kBuildVersion);
}

void BuildMenuLabels(float originX, float originY, float targetFps, mirel::TextList (&lists)[3])
{
    Reset(lists[0], originX + 320.0f, originY + 20.0f);
    Line(lists[0], kStatsRed, "FPS");
    Reset(lists[1], originX + 600.0f, originY + 20.0f);
    Line(lists[1], kStatsRed, "%f", targetFps);
    Reset(lists[2], originX + 320.0f, originY + 60.0f);
    Line(lists[2], kStatsRed, "Sweep");
}

} // namespace miCadora
