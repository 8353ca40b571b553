#include "compute/computecontext.h"

#include "core/utils.h"

#include <cmath>
#include <vector>

namespace miCompute
{

namespace
{

// Reports name the compute module, of which the contexts are the portable part.
constexpr const char* kSource = "compute/compute";

std::vector<ComputeContext*>& Contexts()
{
    static std::vector<ComputeContext*> list;
    return list;
}

} // namespace

ComputeContext::ComputeContext()
{
    for (int32_t i = 0; i < kComputeSlots; ++i)
        constantBufferIds[i] = uavIds[i] = -1;
}

uint32_t GroupCount(float groups)
{
    if (!(groups >= 1.0f)) return 0;
    if (groups >= 4294967296.0f) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(groups);
}

void ComputeContext::Reset()
{
    shaderId = -1;
    auxShaderId = -1;
    for (int32_t i = 0; i < kComputeSlots; ++i)
        constantBufferIds[i] = uavIds[i] = -1;
    groupsX = groupsY = groupsZ = 0.0f;
}

void ComputeContext::BindResources()
{
    for (int32_t i = 0; i < kComputeSlots; ++i)
    {
        if (uavIds[i] == -1) continue;
        ComputeUavInfo info{};
        if (!miRender::GetDeviceHost().FindComputeUav(uavIds[i], info))
        {
            mirel::Assert(false, kSource, 171, "UAV not found in BindResources");
            continue;
        }
        if (info.initialContent != kContentKept) pipe.ClearUAV(info.gpuResourceId, info.initialContent != 0);
        pipe.SetComputeUAV(info.gpuResourceId, i);
    }
    pipe.SetComputeConstantBuffers(constantBufferIds, kComputeSlots);
}

void ComputeContext::Execute()
{
    pipe.SetComputeShader(shaderId);
    pipe.Dispatch(GroupCount(groupsX), GroupCount(groupsY), GroupCount(groupsZ));
    pipe.UnbindComputeUAVs();
    pipe.Execute();
}

void RegisterComputeContext(ComputeContext* context)
{
    if (context) Contexts().push_back(context);
}

void ClearComputeContexts()
{
    Contexts().clear();
}

void ResetComputeContexts()
{
    for (ComputeContext* c : Contexts())
        c->Reset();
}

void RunComputeContexts()
{
    for (ComputeContext* c : Contexts())
    {
        c->pipe.Begin(miRender::PlatformDevicePipe::kNoBuffer);
        c->PreExecute();
        c->BindResources();
        c->Execute();
        c->PostExecute();
    }
}

} // namespace miCompute
