// The device layer's answer to what a compute context binds for a GPU resource.
#include "compute/computecontext.h"
#include "render/device/dx11/dx11Resources.h"

namespace miCompute
{

bool Dx11UavLookup(int32_t gpuResourceId, ComputeUavInfo& out)
{
    miResources::PlatformGPUResource* res = miResources::GpuResources().FromHandle(gpuResourceId);
    if (!res) return false;
    out = {gpuResourceId, kContentKept};
    // A texture's view is bound as it is; only buffers are cleared per frame.
    if (res->kind != miResources::kGpuStructuredBuffer) return true;
    miResources::PlatformStructuredBuffer* buffer = miResources::StructuredBuffers().FromHandle(res->structuredBufferId);
    if (!buffer) return false;
    out = {buffer->gpuResourceId, buffer->initialContent};
    return true;
}

} // namespace miCompute
