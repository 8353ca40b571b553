#include "loadcontrol.h"

#include "detect.h"

#include "core/props.h"
#include "core/sys.h"
#include "core/utils.h"

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace miCadora
{

namespace
{

// Rates outside this band come only from a zero or absurd slider or range; they would make
// the target infinite or negative and drive the load to an extreme.
constexpr float kMinFps = 5.0f;
constexpr float kMaxFps = 1000.0f;

float SaneFps(float fps)
{
    if (!(fps >= kMinFps)) return kMinFps; // also NaN
    return fps > kMaxFps ? kMaxFps : fps;
}

float SweepFps(float low, float high, float variableFpsFreq, float clock)
{
    const float a = (high - low) * 0.5f - 0.5f;
    float d = a > 10.0f ? variableFpsFreq * a : 1.0f;
    // A zero or negative period would turn the phase into NaN.
    if (!(d > 0.0f)) d = 1.0f;
    const float s = std::sin(clock / d);
    return s * a + (low + a);
}

bool IsUsableRecord(const DetectionRecord* r)
{
    return r && r->minRefreshMilliHz != 0 && r->maxRefreshMilliHz != 0;
}

} // namespace

float TargetFrameMs(const LoadInputs& in, float sweepClock)
{
    float fps = in.debugGui ? in.targetFps : in.targetFps - std::fmod(in.targetFps, 5.0f);
    if (in.sweepSwitch > 0.0f)
        fps = SweepFps(in.sweepLowFps, in.sweepHighFps, in.variableFpsFreq, sweepClock);
    if (in.sweepToSliderMax) fps = SweepFps(in.targetFps, in.sliderMax, in.variableFpsFreq, sweepClock);
    return (1.0f / SaneFps(fps)) * 1000.0f;
}

int32_t StepFactor(float a, bool gpuTimingFault)
{
    if (a < 0.1f) return 0;
    if (a < 0.2f) return 1;
    if (a < 0.5f) return 2;
    if (a < 2.0f) return 3;
    if (a < 10.0f) return 20;
    return gpuTimingFault ? 20 : 200;
}

void UpdateLoad(LoadState& st, const LoadInputs& in)
{
    st.sweepClock += in.frameTime;
    if (st.sweepClock > 3600.0f) st.sweepClock = 0.0f;
    const float targetMs = TargetFrameMs(in, st.sweepClock);

    float currentMs = in.frameTime * 1000.0f;
    if (in.useGpuQuery) currentMs = in.gpuTimingFault ? in.gpuFrameMs * 0.5f : in.gpuFrameMs;

    const float e = targetMs - currentMs;
    // A measurement that is not a number holds the load instead of taking the largest step.
    const int32_t k = std::isfinite(e) ? StepFactor(std::fabs(e), in.gpuTimingFault) : 0;
    float scale = static_cast<float>(st.computeThreads) / 1000.0f;
    if (!(scale > 1.0f)) scale = 1.0f;
    st.threadIncrement = static_cast<int32_t>(scale * static_cast<float>(k));

    if (st.logThreads)
        LogPrint(st, "TargetMs: %f, CurrentMs: %f, ComputeThreads: %d, AddedThreads: %d\n", targetMs,
                 currentMs, st.computeThreads, st.threadIncrement);

    int64_t next =
        static_cast<int64_t>(st.computeThreads) + (e > 0.0f ? st.threadIncrement : -st.threadIncrement);
    if (next <= 1) next = 1;
    if (next > kMaxComputeThreads) next = kMaxComputeThreads;
    st.computeThreads = static_cast<int32_t>(next);

    if (mirel::FindProperty("debug.fixedThreads", false))
    {
        const float fixed = mirel::GetPropertyFloat("debug.fixedThreads", 0.0f);
        st.computeThreads = fixed >= static_cast<float>(kMaxComputeThreads)    ? kMaxComputeThreads
                            : fixed <= -static_cast<float>(kMaxComputeThreads) ? -kMaxComputeThreads
                                                                               : static_cast<int32_t>(fixed);
    }

    if (in.showStats)
    {
        if (st.historyCount >= kThreadHistoryMax)
        {
            std::memmove(st.threadHistory, st.threadHistory + 1, sizeof(int32_t) * (kThreadHistoryMax - 1));
            --st.historyCount;
        }
        st.threadHistory[st.historyCount++] = st.computeThreads;
    }
    st.targetMs = targetMs;
    st.currentMs = currentMs;
}

DispatchPlan PlanDispatch(int32_t computeThreads)
{
    if (computeThreads <= 0) return {0, 0};
    const auto n = static_cast<uint32_t>(computeThreads);
    return {n / kMaxGroupsPerDimension, n % kMaxGroupsPerDimension};
}

void LogPrint(LoadState& st, const char* format, ...)
{
    if (!st.log) return;
    if (st.logTime)
    {
        char stamp[32] = {};
        const std::time_t now = std::time(nullptr);
        if (const std::tm* local = std::localtime(&now)) std::strftime(stamp, sizeof stamp, "[%x %X]", local);
        std::fprintf(st.log, "%s", stamp);
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(st.log, format, args);
    va_end(args);
    // Each line reaches the file as it is written, so a crash or a killed process loses at most
    // the line being written. Explicit, because the Windows C library treats line buffering
    // (_IOLBF) as full buffering.
    std::fflush(st.log);
}

SweepRange ChooseSweepRange(const DetectionRecord* r, int32_t refreshHz)
{
    if (!r || r->minRefreshMilliHz == 0 || r->maxRefreshMilliHz <= 0 || r->multiGpuActive)
        return {45, 60, false};
    const int32_t mn = r->minRefreshMilliHz / 1000;
    int32_t lo = mn % 5 == 0 ? mn + 5 : (mn + 5) - (mn + 5) % 5 + 5;
    const float rate = static_cast<float>(refreshHz);
    const float rem = std::fmod(rate, 5.0f);
    int32_t hi = static_cast<int32_t>(rate - rem) + (rem > 0.1f ? 5 : 0);
    lo = lo < 35 ? 35 : lo > 60 ? 60 : lo;
    if (lo > hi) lo = hi;
    hi -= 5;
    if (hi < lo) hi = lo;
    if (hi > 60) hi = 60;
    // A refresh rate that is unknown or below every choice leaves no range to sweep in.
    if (lo < 35) return {45, 60, true};
    return {lo, hi, true};
}

FpsChoices BuildFpsChoices(const DetectionRecord* record, int32_t lo, int32_t hi,
                           void (*debugLine)(const char*))
{
    FpsChoices ch;
    if (!IsUsableRecord(record)) lo = 45;
    ch.lo = lo;
    ch.hi = hi;
    for (int32_t i = 0; i < kFpsChoiceCount; ++i)
    {
        const int32_t fps = 35 + 5 * i;
        char line[256];
        const int len = std::snprintf(line, sizeof line, "fps: %d min: %d  max: %d \n", fps, lo, hi);
        if (debugLine && len > 0 && len < static_cast<int>(sizeof line)) debugLine(line);
        if (fps < lo) ++ch.firstUsable;
        if (fps <= hi) ++ch.upToHi;
    }
    const int32_t c = ch.firstUsable, n = ch.upToHi;
    ch.defaultFps = c == 4 ? 55 : c >= 5 ? 60 : n == 1 ? 35 : n == 2 ? 40 : n == 3 ? 45 : 50;
    for (int32_t i = 0; i < 5; ++i)
        ch.checked[i] = ch.defaultFps == 35 + 5 * i;
    ch.checked[5] = ch.defaultFps >= 60;
    ch.checked[6] = false;
    return ch;
}

void SelectFpsChoice(FpsChoices& ch, int32_t box, bool debugGui, float& targetFps, float& sweepSwitch)
{
    if (debugGui || box < 0 || box >= kFpsChoiceCount) return;
    for (int32_t i = ch.firstUsable; i < kFpsChoiceCount; ++i)
    {
        ch.checked[i] = i == box;
        if (i != box) continue;
        if (i < 6)
        {
            sweepSwitch = 0.0f;
            targetFps = static_cast<float>(35 + 5 * i);
        }
        else
            sweepSwitch = 1.0f;
    }
}

void PinFpsChoices(FpsChoices& ch, float& targetFps, float& sweepSwitch)
{
    if (mirel::FindProperty("debug.fixedFps", false))
    {
        const float fps = mirel::GetPropertyFloat("debug.fixedFps", 0.0f);
        const int32_t box = (static_cast<int32_t>(fps) - 35) / 5;
        if (fps >= 35.0f && fps == static_cast<float>(35 + 5 * box) && box < 6)
            SelectFpsChoice(ch, box, false, targetFps, sweepSwitch);
    }
    if (mirel::IsPropertyTrue("debug.sweep")) SelectFpsChoice(ch, 6, false, targetFps, sweepSwitch);
}

void SendDebugLine(const char* line)
{
#ifdef _WIN32
    if (const char16_t* wide = mirel::ToWide(line))
        OutputDebugStringW(reinterpret_cast<const wchar_t*>(wide));
#else
    if (mirel::ToWide(line)) mirel::sys::DebugOutput(line);
#endif
}

} // namespace miCadora
