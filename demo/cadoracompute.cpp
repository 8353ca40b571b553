#include "cadoracompute.h"

#include "demostate.h"
#include "detect.h"

#include "frametimer.h"
#include "mainloop.h"

#include "core/props.h"
#include "core/sys.h"
#include "core/utils.h"

#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace miCadora
{

CadoraComputeCtxt g_cadoraCompute;
LoadState g_loadState;

#ifdef _WIN32
const BusyDeviceOps& Dx11BusyDeviceOps(); // cadoracompute_dx11.cpp
#endif

namespace
{

const BusyDeviceOps kNoDevice = {nullptr, nullptr, nullptr};

const BusyDeviceOps& DefaultOps()
{
#ifdef _WIN32
    return Dx11BusyDeviceOps();
#else
    return kNoDevice;
#endif
}

const BusyDeviceOps* g_ops = nullptr;

// The pinned rate (0: none) and sweep; the menu stores its own values in the demo state every
// frame, so the pin is applied where the inputs are read.
float g_pinnedFps = 0.0f;
bool g_pinnedSweep = false;

const BusyDeviceOps& Ops()
{
    return g_ops ? *g_ops : DefaultOps();
}

} // namespace

void SetBusyDeviceOps(const BusyDeviceOps* ops)
{
    g_ops = ops;
}

void FillBusySeed(float* out, int32_t elements)
{
    for (int32_t i = 0; i < elements; ++i)
    {
        out[i * 4 + 0] = static_cast<float>(std::rand() % 100000);
        out[i * 4 + 1] = out[i * 4 + 2] = out[i * 4 + 3] = 0.0f;
    }
}

void CadoraComputeCtxt::Reset()
{
    const BusyDeviceOps& ops = Ops();
    constBufferId = ops.createConstantBuffer
                        ? ops.createConstantBuffer(kBusyConstBufferName, kBusyConstRegister, 4, &loopSize)
                        : -1;
    ComputeContext::Reset();
    loopSize = 100;

    shaderId = ops.compileShader ? ops.compileShader(kBusyShaderName, kBusyShaderSource) : -1;

    std::vector<float> seed(static_cast<size_t>(kBusyElements) * 4);
    FillBusySeed(seed.data(), kBusyElements);
    uavIds[0] = ops.createBuffer ? ops.createBuffer(kBusyBufferName, seed.data(), kBusyElements) : -1;
    // The shader declares its constant block at b1; bound, it reads loopSize instead of zeros.
    constantBufferIds[kBusyConstRegister] = constBufferId;
    groupsX = 1.0f;
    groupsY = groupsZ = 0.0f;

    mirel::g_engineState.controllerGpuTiming = 1;
    g_loadState.historyCount = 0;

    g_loadState.logThreads = mirel::IsPropertyTrue("debug.logThreads");
    if (g_loadState.logThreads)
    {
        if (!g_loadState.log) g_loadState.log = std::fopen(kLoadLogName, "a+");
        mirel::LoadConfigFile();
        g_loadState.logTime = mirel::FindProperty("debug.logTime", false) != nullptr;
    }
}

void CadoraComputeCtxt::Execute()
{
    UpdateLoad();
    DispatchLoad();
}

void CadoraComputeCtxt::UpdateLoad()
{
    miCadora::UpdateLoad(g_loadState, CurrentLoadInputs());
}

void CadoraComputeCtxt::DispatchLoad()
{
    groupsX = static_cast<float>(g_loadState.computeThreads);
    groupsY = groupsZ = 1.0f;
    pipe.SetComputeShader(shaderId);
    // One dimension holds at most 65535 groups (more are dropped by the runtime): the load is
    // spread over full rows plus the rest, and each group costs the same wherever it lands.
    const DispatchPlan plan = PlanDispatch(g_loadState.computeThreads);
    if (plan.fullRows) pipe.Dispatch(kMaxGroupsPerDimension, plan.fullRows, 1);
    if (plan.remainder) pipe.Dispatch(plan.remainder, 1, 1);
    pipe.UnbindComputeUAVs();
    pipe.Execute();
}

LoadInputs CurrentLoadInputs()
{
    LoadInputs in;
    in.frameTime = mirel::FrameDelta();
    in.gpuFrameMs = mirel::g_engineState.gpuFrameMs.load();
    in.gpuTimingFault = mirel::g_engineState.gpuTimingBroken.load() != 0;
    const DemoState& s = State();
    in.useGpuQuery = s.useGpuQuery;
    in.variableFpsFreq = s.variableFpsFreq;
    in.targetFps = s.targetFps;
    in.sweepSwitch = s.sweepSwitch;
    in.sweepLowFps = s.sweepLowFps;
    in.sweepHighFps = s.sweepHighFps;
    in.sweepToSliderMax = s.sweepToSliderMax;
    in.sliderMax = s.fpsSliderMax;
    in.debugGui = s.debugGui;
    in.showStats = s.showStats;
    if (g_pinnedFps > 0.0f)
    {
        in.targetFps = g_pinnedFps;
        in.sweepSwitch = 0.0f;
    }
    if (g_pinnedSweep) in.sweepSwitch = 1.0f;
    return in;
}

void RegisterLoadController()
{
    miCompute::RegisterComputeContext(&g_cadoraCompute);
}

void ReadLoadSettings()
{
    DemoState& s = State();
    s.variableFpsFreq = mirel::GetPropertyFloat("cadora.variable_fps_freq", FLT_MAX);
    s.useGpuQuery = mirel::IsPropertyTrue("cadora.useGPUQuery");
    s.debugGui = mirel::IsPropertyTrue("debug.showDebugGui");
    ApplyPinnedRate();
}

void ApplyPinnedRate()
{
    DemoState& s = State();
    g_pinnedFps = 0.0f;
    g_pinnedSweep = false;
    if (mirel::FindProperty("debug.fixedFps", false))
    {
        const float fps = mirel::GetPropertyFloat("debug.fixedFps", 0.0f);
        // Only a sane rate: the target frame time is computed from it every frame.
        if (fps >= 5.0f && fps <= 1000.0f)
        {
            g_pinnedFps = s.targetFps = fps;
            s.sweepSwitch = 0.0f;
        }
    }
    if (mirel::IsPropertyTrue("debug.sweep"))
    {
        g_pinnedSweep = true;
        s.sweepSwitch = 1.0f;
    }
}

void CloseLoadLog()
{
    if (g_loadState.log) std::fclose(g_loadState.log);
    g_loadState.log = nullptr;
}

void ResetLoadController()
{
    CloseLoadLog();
    g_loadState = LoadState{};
    DemoState& s = State();
    const DemoState start;
    s.useGpuQuery = start.useGpuQuery;
    s.variableFpsFreq = start.variableFpsFreq;
    s.targetFps = start.targetFps;
    s.sweepSwitch = start.sweepSwitch;
    s.sweepLowFps = start.sweepLowFps;
    s.sweepHighFps = start.sweepHighFps;
    s.sweepToSliderMax = start.sweepToSliderMax;
    s.fpsSliderMax = start.fpsSliderMax;
    s.debugGui = start.debugGui;
    s.cadoraCapable = start.cadoraCapable;
    g_pinnedFps = 0.0f;
    g_pinnedSweep = false;
    mirel::g_engineState.controllerGpuTiming = 0;
}

} // namespace miCadora
