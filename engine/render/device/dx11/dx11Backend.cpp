#include "render/device/dx11/dx11Backend.h"

#include "compute/computecontext.h"
#include "scene/camera.h"
#include "render/device/devicelost.h"
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
        GetDrawStatistics().countEnabled = &g_countDraws;
        miRender::InitRenderDevice(window);
        if (Renderer* r = GetRenderer())
            miCamera::SetOutputSize(static_cast<int32_t>(r->outputWidth),
                                    static_cast<int32_t>(r->outputHeight));
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
    uint32_t DeviceLostResult() override { return DeviceLossResult(); }
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
        SetDeviceHost(nullptr);
        GetDrawStatistics().countEnabled = nullptr;
    }
};

Backend g_backend;
} // namespace

void InstallDx11FrameBackend()
{
    mirel::SetFrameBackend(&g_backend);
}
mirel::FrameBackend& Dx11FrameBackend()
{
    return g_backend;
}

void SetGpuQueryEnabled(bool enabled)
{
    g_gpuQueryEnabled = enabled;
}

void ApplyPendingRebuild()
{
    Renderer* r = GetRenderer();
    if (!r) return;
    if (ApplyResolutionSettings(*r)) GetDeviceHost().ResizeDevice(*r);
    miCamera::SetOutputSize(static_cast<int32_t>(r->outputWidth), static_cast<int32_t>(r->outputHeight));
    r->RebuildSizeDependent();
    mirel::Trace("resize rebuilt %dx%d", static_cast<int>(r->outputWidth), static_cast<int>(r->outputHeight));
    g_tracePresentAfterRebuild = true;
}

} // namespace miRender
