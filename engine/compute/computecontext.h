// Compute passes that run once per frame outside the render views: each binds its unordered-
// access resources and constant buffers, sets one compute shader and dispatches a grid of groups,
// recording into its own device pipe and replaying at once on the immediate context.
#pragma once

#include "render/device/devicehost.h"
#include "render/device/devicepipe.h"

#include <cstdint>

namespace miCompute
{

constexpr int32_t kComputeSlots = 16;
// Registers u0-u6 are cleared after every dispatch so the views may bind the same resources.
constexpr int32_t kUnboundUavRegisters = 7;

// initialContent of a buffer that keeps what it holds between frames; 0 clears it to zeros and
// any other value to all bits set before every dispatch.
constexpr uint32_t kContentKept = 2;

class ComputeContext
{
  public:
    ComputeContext();
    virtual ~ComputeContext() = default;
    ComputeContext(const ComputeContext&) = delete;
    ComputeContext& operator=(const ComputeContext&) = delete;

    virtual void PreExecute() {}
    virtual void BindResources();
    virtual void Execute();
    virtual void PostExecute() {}
    // One-time set-up at start-up; subclasses build their resources here.
    virtual void Reset();

    miRender::PlatformDevicePipe pipe;
    int32_t shaderId = -1;
    int32_t auxShaderId = -1;
    int32_t constantBufferIds[kComputeSlots];
    int32_t uavIds[kComputeSlots];
    float groupsX = 0.0f, groupsY = 0.0f, groupsZ = 0.0f;
};

// A group count as the device takes it: truncated, negative or NaN as 0, capped at the largest
// unsigned value instead of overflowing.
uint32_t GroupCount(float groups);

// What binding needs of a GPU resource, answered by the device host (without a device no UAV is
// found).
using miRender::ComputeUavInfo;

// The process-wide list, in registration order; the contexts are not owned by it.
void RegisterComputeContext(ComputeContext* context);
// Empties the list (end of the program, tests).
void ClearComputeContexts();

// Start-up: Reset() on every context in list order.
void ResetComputeContexts();
// Once per frame: each context gets a fresh command list, then binds, executes and finishes.
void RunComputeContexts();

} // namespace miCompute
