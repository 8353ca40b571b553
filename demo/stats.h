// The statistics overlay's text: what each line says, where the lists sit and in which colour.
// Portable; the view gathers the inputs from the timers, the engine state, the load controller,
// the detection record and the device, and draws the lists.
#pragma once

#include "core/utils.h"

#include <cfloat>
#include <cstdint>

namespace miCadora
{

struct DetectionRecord;

constexpr const char* kBuildVersion = "0.9.1";
extern const float kStatsFiguresColour[4];
extern const float kStatsWhite[4];
extern const float kStatsRed[4];

struct StatsInputs
{
    // Frame timer.
    float delta = 0.0f;
    float fps = 0.0f;
    float instantFps = 0.0f;
    float averageFps = 0.0f;
    // Engine state and the GPU timing ring.
    float gpuFrameMs = 0.0f;
    float gpuSecondMs = 0.0f;
    bool gpuTimingFault = false;
    bool useGpuQuery = false;
    uint64_t frameCounter = 0;
    int32_t queryRingSize = 0;
    float updateMs = 0.0f;
    float presentMs = 0.0f;
    // Load controller.
    int32_t computeThreads = 0;
    int32_t threadIncrement = 0;
    const int32_t* threadHistory = nullptr;
    int32_t threadHistoryCount = 0;
    const DetectionRecord* detection = nullptr;
    // Device and output.
    const char* adapterName = "";
    int32_t videoMemoryMB = 0;
    int32_t usedRefreshHz = 0;
    int32_t maxRefreshHz = 0;
    int32_t outputWidth = 0;
    int32_t outputHeight = 0;
    // The desktop properties; FLT_MAX stands for an absent one.
    float desktopX = FLT_MAX;
    float desktopY = FLT_MAX;
    bool showStats = false;
};

struct StatsRates
{
    float instant;
    float average;
};

// The frame timer's rates, or the GPU's when its timing is used; doubled when that timing is
// known to be broken. Not clamped.
StatsRates ChooseRates(const StatsInputs& in);

// Truncates toward zero; values an int32 cannot hold (infinities, NaN, the absent-property
// marker) become 0 instead of an undefined conversion.
int32_t TruncateToInt(float v);

// The summary list: its position from the output size, then either the four figure lines
// (statistics on) or the ten-line summary. Replaces the list's content.
void BuildSummary(const StatsInputs& in, mirel::TextList& list);
// The red block at (360, 400) shown with the statistics; an empty list when they are off.
void BuildStatsBlock(const StatsInputs& in, mirel::TextList& list);
// The options menu's three labels beside its rate choices, relative to the menu origin.
void BuildMenuLabels(float originX, float originY, float targetFps, mirel::TextList (&lists)[3]);

} // namespace miCadora
