#include "render/device/dx11/dx11Resources.h"

#include "compute/computecontext.h"
#include "core/props.h"
#include "render/device/devicehost.h"
#include "render/device/dx11/dx11Device.h"
#include "render/material.h"
#include "render/model.h"
#include "render/renderer.h"

#include <cstdlib>
#include <cstring>

namespace miResources
{

namespace
{
using miRender::Renderer;

// The device and the resource pools as the renderer, its views, material loading and the scene
// entities reach them.
class Dx11Host final : public miRender::DeviceHost
{
  public:
    bool CreateDevice(Renderer& renderer, void* window) override
    {
        RenderSettings s;
        s.autoDetect = renderer.settings.autoDetect;
        s.fullscreen = renderer.settings.fullscreen;
        s.vsync = renderer.settings.vsync;
        s.tripleBuffered = renderer.settings.tripleBuffered;
        s.msaaSamples = renderer.settings.msaaSamples;
        s.width = renderer.settings.width;
        s.height = renderer.settings.height;
        const float lossAt = mirel::GetPropertyFloat("debug.deviceLossAtPresent", 0.0f);
        s.deviceLossAtPresent = lossAt >= 1.0f && lossAt < 1e9f ? static_cast<uint32_t>(lossAt) : 0;
        ListUsableAdapters(s);
        PlatformDevice* device = new PlatformDevice;
        renderer.devices.Push(device);
        device->Init(static_cast<HWND>(window), s);
        // The mode choice may settle on another size; the back buffer's is the output size.
        renderer.outputWidth = device->settings.width;
        renderer.outputHeight = device->settings.height;
        return device->device != nullptr;
    }
    void ShutdownDevices(Renderer& renderer) override
    {
        for (int32_t i = 0; i < renderer.devices.count; ++i)
        {
            Device* d = renderer.devices.data[i];
            d->Shutdown();
            delete d;
        }
        renderer.devices.Clear();
    }
    void ResizeDevice(Renderer& renderer) override
    {
        if (renderer.devices.count < 1) return;
        PlatformDevice* d = static_cast<PlatformDevice*>(renderer.devices.data[0]);
        RenderSettings s = d->settings;
        s.width = renderer.outputWidth;
        s.height = renderer.outputHeight;
        s.left = s.top = 0;
        s.minDepth = 0.0f;
        s.maxDepth = 1.0f;
        d->Resize(s);
        d->SetViewport(Viewport{s.width, s.height, 0.0f, 1.0f, 0, 0});
        // Targets drawing into the back buffer borrowed views that the resize replaced.
        for (int32_t i = 0; i < RenderTargets().Count(); ++i)
        {
            PlatformRenderTarget* rt = RenderTargets().AtIndex(i);
            if (rt && rt->borrowed) CreateSwapChainTarget(rt->name);
        }
    }
    void InitGpuPerf(void* device, void* owner) override { perf.Init(device, owner); }

    int32_t CreateConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes, void* data) override
    {
        return miResources::CreateConstantBuffer(name, registerSlot, bytes, data);
    }
    int32_t CreateNewConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes,
                                    void* data) override
    {
        PlatformConstantBuffer* cb = ConstantBuffers().Create(name);
        if (!cb) return -1;
        cb->registerSlot = registerSlot;
        cb->byteSize = bytes;
        cb->data = data;
        cb->Create();
        return cb->handle;
    }
    int32_t CreateEntityConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes,
                                       const void* data) override
    {
        // The pipe uploads from the draw's own copy; the buffer's data only seeds it.
        return CreateNewConstantBuffer(name, registerSlot, bytes, const_cast<void*>(data));
    }
    void ReleaseConstantBuffer(int32_t id) override { ConstantBuffers().Release(id); }
    void SetConstantBufferData(int32_t id, void* data) override
    {
        if (PlatformConstantBuffer* cb = ConstantBuffers().FromHandle(id)) cb->data = data;
    }
    void UploadConstantBuffer(int32_t id, const void* data, uint32_t bytes) override
    {
        PlatformConstantBuffer* cb = ConstantBuffers().FromHandle(id);
        ID3D11DeviceContext* ctx = CurrentContext();
        if (!cb || !cb->buffer || !ctx || !data) return;
        D3D11_MAPPED_SUBRESOURCE m{};
        if (FAILED(ctx->Map(cb->buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &m))) return;
        const uint32_t size = static_cast<uint32_t>(cb->byteSize);
        std::memcpy(m.pData, data, bytes < size ? bytes : size);
        ctx->Unmap(cb->buffer, 0);
    }

    int32_t FindRenderTarget(const char* name) override
    {
        PlatformRenderTarget* rt = name ? RenderTargets().Find(name) : nullptr;
        return rt ? rt->handle : -1;
    }
    int32_t CreateRenderTarget(const char* name, uint32_t width, uint32_t height, uint32_t format,
                               bool hasDepth, int32_t samples) override
    {
        return miResources::CreateRenderTarget(name, width, height, format, hasDepth, -1, samples);
    }

    int32_t FindMaterial(const char* name) override
    {
        Material* m = name ? MaterialManager().Find(name) : nullptr;
        return m ? m->handle : -1;
    }
    int32_t LoadMaterial(const char* name) override
    {
        Material* m = miResources::LoadMaterial(name);
        return m ? m->handle : -1;
    }
    int32_t FindModel(const char* name) override
    {
        Model* m = name ? Models().Find(name) : nullptr;
        return m ? m->handle : -1;
    }
    int32_t FindOrLoadModel(const char* name, mirel::Vec3& boundsMin, mirel::Vec3& boundsMax) override
    {
        Model* m = LoadModel(name);
        if (!m) return -1;
        boundsMin = {m->boundsMin[0], m->boundsMin[1], m->boundsMin[2]};
        boundsMax = {m->boundsMax[0], m->boundsMax[1], m->boundsMax[2]};
        return m->handle;
    }
    void BuildBuiltinModels() override
    {
        CreateFullscreenQuad();
        CreateParticleEmitterPoints();
    }

    bool HasResourcePools() override { return true; }
    int32_t FindGpuResource(const char* name) override
    {
        PlatformGPUResource* r = GpuResources().Find(name);
        return r ? r->handle : -1;
    }
    int32_t FindOrCreateGpuResource(const char* name) override
    {
        PlatformGPUResource* r = GpuResources().Find(name);
        if (!r) r = GpuResources().Create(name);
        return r ? r->handle : -1;
    }
    int32_t FindTexture(const char* name) override
    {
        PlatformTexture* t = Textures().Find(name);
        return t ? t->handle : -1;
    }
    int32_t CreateTexture(const char* name, int32_t kind, int32_t& gpuResourceId) override
    {
        gpuResourceId = -1;
        PlatformTexture* t = Textures().Find(name);
        if (!t) t = Textures().Create(name);
        if (!t) return -1;
        if (kind == kTex2d || kind == kTexAlphaTest)
            t->LoadFile();
        else if (kind == kTexCube)
            t->LoadDds();
        gpuResourceId = t->gpuResourceId;
        return t->handle;
    }
    int32_t LoadTextureFile(const char* fileName) override
    {
        PlatformTexture* t = Textures().FromHandle(LoadTexture(fileName));
        return t ? t->gpuResourceId : -1;
    }

    int32_t CreateVertexBuffer(int32_t vertexCount, uint32_t stride) override
    {
        if (vertexCount <= 0) return -1;
        PlatformDynamicVertexBuffer* b = DynamicVertexBuffers().Create(nullptr);
        if (!b) return -1;
        b->count = static_cast<uint32_t>(vertexCount);
        b->stride = stride;
        // The replay reads this memory after recording; it lives until the buffer is released.
        b->data = std::calloc(b->count, b->stride);
        b->Create();
        return b->handle;
    }
    void ReleaseVertexBuffer(int32_t id) override
    {
        PlatformDynamicVertexBuffer* b = DynamicVertexBuffers().FromHandle(id);
        if (!b) return;
        std::free(b->data);
        b->data = nullptr;
        DynamicVertexBuffers().Release(id);
    }
    void WriteVertexBuffer(int32_t id, const void* vertices, uint32_t bytes) override
    {
        PlatformDynamicVertexBuffer* b = DynamicVertexBuffers().FromHandle(id);
        if (!b || !b->data || !vertices) return;
        const uint32_t room = b->count * b->stride;
        std::memcpy(b->data, vertices, bytes < room ? bytes : room);
    }

    bool FindComputeUav(int32_t gpuResourceId, miRender::ComputeUavInfo& out) override
    {
        PlatformGPUResource* res = GpuResources().FromHandle(gpuResourceId);
        if (!res) return false;
        out = {gpuResourceId, miCompute::kContentKept};
        // A texture's view is bound as it is; only buffers are cleared per frame.
        if (res->kind != kGpuStructuredBuffer) return true;
        PlatformStructuredBuffer* buffer = StructuredBuffers().FromHandle(res->structuredBufferId);
        if (!buffer) return false;
        out = {buffer->gpuResourceId, buffer->initialContent};
        return true;
    }

    PlatformGPUPerf perf;
};

Dx11Host g_host;
} // namespace

miRender::DeviceHost& Dx11DeviceHost()
{
    return g_host;
}

} // namespace miResources
