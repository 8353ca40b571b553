// The load controller as the demo's compute context: every frame it steps the number of busy
// compute groups toward the target frame time and dispatches them; its inputs are fields of the
// demo's state (demostate.h).
#pragma once

#include "loadcontrol.h"

#include "compute/computecontext.h"

#include <cstdint>

namespace miCadora
{

constexpr const char* kBusyConstBufferName = "BusyConstBuffer";
constexpr const char* kBusyBufferName = "busy_buffer0";
constexpr const char* kBusyShaderName = "busy_mainCS";
// Work that serves no purpose but to take GPU time: one thread per group, a dependent loop the
// compiler cannot shorten; loopSize is declared for the controller but not read. Element i of
// "busy_buffer0" is four floats, its x at float 4i: the buffer is viewed as R32_FLOAT because
// Direct3D 11.0 loads from typed UAVs of single 32-bit components only. DTid.x stays below
// 65535 (the dispatch spreads larger loads over rows), so 4 * DTid.x cannot wrap.
inline constexpr char kBusyShaderSource[] = "cbuffer\tConstBufferCS_Per_Frame\t:\tregister(b1)\n"
                                            "{\n"
                                            "\tint\tloopSize;\n"
                                            "};\n"
                                            "RWBuffer<float>\tbuf\t:\tregister(u0);\n"
                                            "[numthreads(1,\t1,\t1)]\n"
                                            "void\tmainCS(uint3\tDTid\t:\tSV_DispatchThreadID)\n"
                                            "{\n"
                                            "\tuint\tx\t=\tDTid.x\t*\t4;\n"
                                            "\tfloat\tv\t=\tbuf[x];\n"
                                            "\t[loop]\n"
                                            "\tfor\t(int\ti\t=\t0;\ti\t<\t10000;\ti++)\n"
                                            "\t{\n"
                                            "\t\tv\t+=\tv\t*\tv;\n"
                                            "\t}\n"
                                            "\tbuf[x]\t=\tv;\n"
                                            "}\n";
constexpr const char* kLoadLogName = "cadoraLog.txt";
constexpr int32_t kBusyElements = 100000;
constexpr int32_t kBusyStride = 16;
constexpr int32_t kBusyConstRegister = 1;

class CadoraComputeCtxt : public miCompute::ComputeContext
{
  public:
    // The control step, then the dispatch.
    void Execute() override;
    // One-time set-up: the busy shader, its buffer and constants, the log.
    void Reset() override;

    void UpdateLoad();
    void DispatchLoad();

    int32_t loopSize = 100;
    int32_t constBufferId = -1;
};
extern CadoraComputeCtxt g_cadoraCompute;

// What the controller steps and publishes: computeThreads, threadIncrement, threadHistory,
// sweepClock, the log.
extern LoadState g_loadState;

// CadoraApp::Init: appends the controller to the compute-context list.
void RegisterLoadController();
// CadoraApp::Load: useGpuQuery, variableFpsFreq and debugGui from the property store.
void ReadLoadSettings();
// Unattended runs pin what the menu would choose: "debug.fixedFps" (a rate of 5 to 1000) and
// "debug.sweep" "true" (the sweep on). Applied by ReadLoadSettings; the menu checks the pinned box.
void ApplyPinnedRate();
// CadoraApp::Shutdown: closes the log when it is open.
void CloseLoadLog();

// The inputs of this frame's control step from the frame timer, the engine state and the menu.
LoadInputs CurrentLoadInputs();

// The device side of Reset(). The default creates Direct3D objects on Windows and nothing
// elsewhere; tests install their own. Each returns the new object's id, or -1.
struct BusyDeviceOps
{
    int32_t (*createConstantBuffer)(const char* name, int32_t registerSlot, int32_t bytes, void* data);
    int32_t (*compileShader)(const char* name, const char* source);
    // The buffer of elements x 4 floats, seeded, viewed as R32_FLOAT; returns its GPU-resource id.
    int32_t (*createBuffer)(const char* name, const float* seed, int32_t elements);
};
void SetBusyDeviceOps(const BusyDeviceOps* ops);

// The seed of element i: (r mod 100000, 0, 0, 0) for successive rand() values r.
void FillBusySeed(float* out, int32_t elements);

// Back to the state before Reset, for a second run in one process (tests).
void ResetLoadController();

} // namespace miCadora
