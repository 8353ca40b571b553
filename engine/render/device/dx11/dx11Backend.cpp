#include "render/device/dx11/dx11Backend.h"

#include "compute/computecontext.h"
#include "scene/camera.h"
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11Resources.h"
#include "render/material.h"
#include "render/model.h"
#include "render/renderer.h"

#include "core/props.h"
#include "scene/siment.h"
#include "core/utils.h"

#include <cstring>

namespace miRender
{

namespace
{
using namespace miResources;

// Resource pools as the renderer and its views reach them.
class Dx11RenderHost final : public RenderHost
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
    int32_t CreateNewConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes, void* data) override
    {
        PlatformConstantBuffer* cb = ConstantBuffers().Create(name);
        if (!cb) return -1;
        cb->registerSlot = registerSlot;
        cb->byteSize = bytes;
        cb->data = data;
        cb->Create();
        return cb->handle;
    }
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
    int32_t CreateRenderTarget(const char* name, uint32_t width, uint32_t height, uint32_t format, bool hasDepth,
                               int32_t samples) override
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
    void BuildBuiltinModels() override
    {
        CreateFullscreenQuad();
        CreateParticleEmitterPoints();
    }

    PlatformGPUPerf perf;
};

// Entities' constant buffers, materials and models from the same pools.
class Dx11SceneResources final : public miSim::SceneResources
{
  public:
    int32_t CreateConstantBuffer(const char* name, int32_t registerSlot, int32_t byteSize, const void* data) override
    {
        PlatformConstantBuffer* cb = ConstantBuffers().Create(name);
        if (!cb) return -1;
        cb->registerSlot = registerSlot;
        cb->byteSize = byteSize;
        // The pipe uploads from the draw's own copy; the buffer's data only seeds it.
        cb->data = const_cast<void*>(data);
        cb->Create();
        return cb->handle;
    }
    void ReleaseConstantBuffer(int32_t id) override { ConstantBuffers().Release(id); }
    int32_t FindOrLoadMaterial(const char* name) override
    {
        if (Material* m = MaterialManager().Find(name)) return m->handle;
        Material* m = miResources::LoadMaterial(name);
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
};

Dx11RenderHost g_host;
Dx11SceneResources g_sceneResources;
uint8_t g_countDraws = 0;
bool g_tracePresentAfterRebuild = false;
bool g_gpuQueryEnabled = true;

void PublishDrawStatistics()
{
    DrawStatistics& stats = GetDrawStatistics();
    uint64_t draws, triangles;
    {
        mirel::sys::ScopedLock lock(stats.lock);
        draws = stats.drawCalls;
        triangles = stats.triangles;
        stats.drawCalls = stats.triangles = 0;
    }
    mirel::sys::ScopedLock lock(mirel::EngineStateLock());
    mirel::g_engineState.drawCalls = static_cast<uint32_t>(draws);
    mirel::g_engineState.primitives = static_cast<uint32_t>(triangles);
}

void RecordAndPublish(Renderer& renderer)
{
    g_countDraws = mirel::g_engineState.overlayGpuTiming.load();
    renderer.RecordViews();
    PublishDrawStatistics();
}

class Backend final : public mirel::FrameBackend
{
  public:
    void InitRenderDevice(void* window) override
    {
        InstallDx11Resources();
        SetRenderHost(&g_host);
        miSim::SetSceneResources(&g_sceneResources);
        GetDrawStatistics().countEnabled = &g_countDraws;
        miRender::InitRenderDevice(window);
        if (Renderer* r = GetRenderer())
            miCamera::SetOutputSize(static_cast<int32_t>(r->outputWidth), static_cast<int32_t>(r->outputHeight));
    }
    void SetUpRenderer() override
    {
        Renderer* r = GetRenderer();
        if (!r) return;
        r->CreateRenderTargets();
        r->Init(CurrentD3DDevice(), r);
        r->CreateViews();
        r->InitViews();
    }
    // The loop calls this on the message thread once a frame is presented and before the next
    // step records, so no recording of the replaced targets is ever executed.
    void RebuildForResize() override { ApplyPendingRebuild(); }
    void ResetComputeContexts() override { miCompute::ResetComputeContexts(); }
    void RunComputeContexts() override { miCompute::RunComputeContexts(); }
    void RecordViews() override
    {
        if (Renderer* r = GetRenderer()) RecordAndPublish(*r);
    }
    void ExecuteViews() override
    {
        if (Renderer* r = GetRenderer()) r->ExecuteViews();
    }
    void UploadFrameConstants() override { UpdateFrameConstants(); }
    void Present() override
    {
        if (PlatformDevice* d = CurrentDevice()) d->Present();
        // Automated runs take their screenshot of a new size from the first image drawn at it.
        if (g_tracePresentAfterRebuild && mirel::TraceEnabled())
            if (Renderer* r = GetRenderer())
                mirel::Trace("frame presented at %dx%d", static_cast<int>(r->outputWidth),
                             static_cast<int>(r->outputHeight));
        g_tracePresentAfterRebuild = false;
    }
    bool HasDevice() override { return CurrentD3DDevice() != nullptr; }
    bool GpuQueryEnabled() override { return g_gpuQueryEnabled; }
    void BeginGpuFrameQuery() override
    {
        if (PlatformDevice* d = CurrentDevice()) d->queryRing.BeginFrameQuery();
    }
    void EndGpuFrameQuery() override
    {
        if (PlatformDevice* d = CurrentDevice()) d->queryRing.EndFrameQuery();
    }
    float GpuFrameResultMs() override
    {
        PlatformDevice* d = CurrentDevice();
        const float ms = d ? d->queryRing.ReadFrameQuery() : 0.0f;
        if (GpuTimingBroken()) mirel::g_engineState.gpuTimingBroken.store(1);
        return ms;
    }
    float DeviceSecondGpuMs() override
    {
        PlatformDevice* d = CurrentDevice();
        return d ? d->queryRing.averageMs : 0.0f;
    }
    void RecreateGpuQueryRing() override
    {
        if (PlatformDevice* d = CurrentDevice()) RecreateQueryRing(*d);
    }
    void ShutdownRenderer() override
    {
        if (Renderer* r = GetRenderer()) r->Shutdown();
        SetRenderer(nullptr);
    }
    void RequestResize() override { miRender::RequestResize(); }
    void ProcessPendingReleases() override
    {
        miSim::ProcessSceneReleases();
        MaterialManager().ProcessPendingReleases();
        SnippetManager().ProcessPendingReleases();
        PlatformModels().manager.ProcessPendingReleases();
        GpuResources().ProcessPendingReleases();
        RenderTargets().ProcessPendingReleases();
        Textures().ProcessPendingReleases();
        Shaders().ProcessPendingReleases();
        ConstantBuffers().ProcessPendingReleases();
        StructuredBuffers().ProcessPendingReleases();
        DynamicVertexBuffers().ProcessPendingReleases();
    }
    void ClearObjectManagers() override
    {
        miSim::ClearScenePools();
        ClearDx11Resources();
        SnippetManager().Clear();
        miSim::SetSceneResources(nullptr);
        SetRenderHost(nullptr);
        GetDrawStatistics().countEnabled = nullptr;
    }
};

Backend g_backend;
} // namespace

void InstallDx11FrameBackend() { mirel::SetFrameBackend(&g_backend); }
mirel::FrameBackend& Dx11FrameBackend() { return g_backend; }

void SetGpuQueryEnabled(bool enabled) { g_gpuQueryEnabled = enabled; }

void ApplyPendingRebuild()
{
    Renderer* r = GetRenderer();
    if (!r) return;
    if (ApplyResolutionSettings(*r)) GetRenderHost().ResizeDevice(*r);
    miCamera::SetOutputSize(static_cast<int32_t>(r->outputWidth), static_cast<int32_t>(r->outputHeight));
    r->RebuildSizeDependent();
    mirel::Trace("resize rebuilt %dx%d", static_cast<int>(r->outputWidth), static_cast<int>(r->outputHeight));
    g_tracePresentAfterRebuild = true;
}

} // namespace miRender
