// The frame-time control law: a target frame time from the chosen rate or the sweep, and the
// number of busy compute groups stepped toward it every frame. Portable; the compute context
// that dispatches the groups wraps it.
#pragma once

#include <cstdint>
#include <cstdio>

namespace miCadora
{

struct DetectionRecord;

// Inputs of one control step, owned by the frame timer, the engine state and the options menu.
struct LoadInputs
{
    float frameTime = 0.0f; // seconds
    float gpuFrameMs = 0.0f;
    bool gpuTimingFault = false;
    bool useGpuQuery = false;
    float variableFpsFreq = 0.1f;
    float targetFps = 60.0f;
    float sweepSwitch = 0.0f;
    float sweepLowFps = 45.0f;
    float sweepHighFps = 60.0f;
    bool sweepToSliderMax = false;
    float sliderMax = 60.0f;
    bool debugGui = false;
    bool showStats = false;
};

constexpr int32_t kThreadHistoryMax = 21;
// Direct3D 11 refuses more groups than this in one dimension.
constexpr uint32_t kMaxGroupsPerDimension = 65535;
// Far beyond any GPU's reach, and well inside int32 so stepping never overflows.
constexpr int32_t kMaxComputeThreads = 1 << 30;

struct LoadState
{
    int32_t computeThreads = 1;
    int32_t threadIncrement = 1;
    float sweepClock = 0.0f;
    int32_t threadHistory[kThreadHistoryMax] = {};
    int32_t historyCount = 0;
    bool logThreads = false;
    bool logTime = false;
    std::FILE* log = nullptr;
    // What the last step aimed at and measured, for the log and the tests.
    float targetMs = 0.0f;
    float currentMs = 0.0f;
};

// The target frame time in ms for the inputs at the given sweep phase; always finite and positive.
float TargetFrameMs(const LoadInputs& in, float sweepClock);
// The step factor for an absolute error in ms.
int32_t StepFactor(float absErrorMs, bool gpuTimingFault);
// One control step; also applies "debug.fixedThreads" and keeps the history while stats are shown.
void UpdateLoad(LoadState& state, const LoadInputs& in);

// computeThreads groups as at most two dispatches: rows of the full width, then the rest.
struct DispatchPlan
{
    uint32_t fullRows;  // dispatch (kMaxGroupsPerDimension, fullRows, 1) when non-zero
    uint32_t remainder; // dispatch (remainder, 1, 1) when non-zero
};
DispatchPlan PlanDispatch(int32_t computeThreads);

// Appends to the log (time-stamped when logTime is set) and flushes it; nothing without an open
// log.
void LogPrint(LoadState& state, const char* format, ...);

// The sweep range from the detection record and the refresh rate in use (Hz).
struct SweepRange
{
    int32_t lo;
    int32_t hi;
    bool capable;
};
SweepRange ChooseSweepRange(const DetectionRecord* record, int32_t refreshHz);

constexpr int32_t kFpsChoiceCount = 7; // 35, 40, ..., 60 and the sweep

struct FpsChoices
{
    int32_t lo = 45;
    int32_t hi = 60;
    int32_t firstUsable = 0; // boxes below it are outside the range and never change
    int32_t upToHi = 0;
    int32_t defaultFps = 50;
    bool checked[kFpsChoiceCount] = {};
};

// Builds the seven choices; each one's line goes to debugLine (may be null).
FpsChoices BuildFpsChoices(const DetectionRecord* record, int32_t lo, int32_t hi,
                           void (*debugLine)(const char*));
// A click on box: the box is checked, the other usable ones cleared, and the rate or the sweep
// chosen. Ignored in the free-slider mode.
void SelectFpsChoice(FpsChoices& choices, int32_t box, bool debugGui, float& targetFps, float& sweepSwitch);
// Unattended runs pin what a click would choose: "debug.fixedFps" selects its box when it is
// one, "debug.sweep" "true" the sweep.
void PinFpsChoices(FpsChoices& choices, float& targetFps, float& sweepSwitch);
// A choice line to the debugger output (widened there; a line of 256 characters or more sends
// nothing); standard error elsewhere.
void SendDebugLine(const char* line);

} // namespace miCadora
