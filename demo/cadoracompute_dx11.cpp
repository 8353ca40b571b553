// The load controller's device objects: its constant block, the busy shader and the buffer of
// float4 elements it works on.
#include "cadoracompute.h"

#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11Resources.h"

#include "core/utils.h"

#include <cstdlib>
#include <cstring>

namespace miCadora
{

namespace
{

int32_t CreateConstants(const char* name, int32_t registerSlot, int32_t bytes, void* data)
{
    return miResources::CreateConstantBuffer(name, registerSlot, bytes, data);
}

int32_t CompileShader(const char* name, const char* source)
{
    auto& shaders = miResources::Shaders();
    miResources::PlatformShader* shader = shaders.Find(name);
    if (!shader) shader = shaders.Create(name);
    if (!shader) return -1;
    // The compiler gets its own copy of the text.
    const size_t n = std::strlen(source) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (!copy) return -1;
    std::memcpy(copy, source, n);
    const bool ok = miResources::CompileComputeShader(*shader, copy);
    std::free(copy);
    return ok ? shader->handle : -1;
}

int32_t CreateBuffer(const char* name, const float* seed, int32_t elements)
{
    // A second start-up keeps the buffer it made the first time: a second pool entry of the same
    // name would orphan the first and leave the context without its UAV.
    if (miResources::PlatformStructuredBuffer* existing = miResources::StructuredBuffers().Find(name))
    {
        mirel::Assert(false, "cadoracompute", __LINE__, "Trying to create an object that already exists: %s",
                      name);
        return existing->gpuResourceId;
    }
    miResources::PlatformStructuredBuffer* b = miResources::StructuredBuffers().Create(name);
    if (!b) return -1;
    b->writable = 1;
    b->numElems = elements;
    b->stride = kBusyStride;
    b->initialContent = miCompute::kContentKept;
    b->readable = 0;
    b->readPointer = nullptr;
    // Typed rather than structured (Wine's compiler cannot store to structured buffers), and
    // single floats: Direct3D 11.0 reads no other typed UAV format.
    b->typedFormat = DXGI_FORMAT_R32_FLOAT;
    b->Create();
    ID3D11DeviceContext* ctx = miResources::CurrentContext();
    if (b->numElems > 0 && b->buffer && ctx)
    {
        const UINT bytes = static_cast<UINT>(b->numElems) * static_cast<UINT>(b->stride);
        const D3D11_BOX box{0, 0, 0, bytes, 1, 1};
        ctx->UpdateSubresource(b->buffer, 0, &box, seed, 0, 0);
    }
    return b->gpuResourceId;
}

const BusyDeviceOps kDx11Ops = {CreateConstants, CompileShader, CreateBuffer};

} // namespace

const BusyDeviceOps& Dx11BusyDeviceOps()
{
    return kDx11Ops;
}

} // namespace miCadora
