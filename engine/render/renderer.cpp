#include "render/renderer.h"

#include "mainloop.h"
#include "scene/camera.h"
#include "render/device/resources.h"
#include "render/material.h"

#include "scene/siment.h"
#include "core/utils.h"

#include <cstring>

namespace miRender
{

namespace
{

Renderer* g_renderer = nullptr;

} // namespace

void SetRenderer(Renderer* renderer)
{
    g_renderer = renderer;
}
Renderer* GetRenderer()
{
    return g_renderer;
}

// ---- renderer

Renderer::Renderer()
{
    devices.Init(4, true);
    views.Init(16, true);
}

Renderer::~Renderer()
{
    for (int32_t i = 0; i < views.count; ++i)
        delete views.data[i];
    views.Clear();
}

void Renderer::CreateRenderTargets()
{
    GetDeviceHost().CreateRenderTarget("ldrMain", outputWidth, outputHeight, kFormatR8G8B8A8Unorm, true, 1);
}

void Renderer::CreateViews()
{
    AddView(new MainSceneOpaqueView("mainSceneOpaque"));
}

void Renderer::Init(void* device, void* owner)
{
    DeviceHost& host = GetDeviceHost();
    host.InitGpuPerf(device, owner);
    for (int32_t layout = 0; layout < kDepthMaterialSlots; ++layout)
    {
        for (int alpha = 0; alpha < 2; ++alpha)
        {
            const char* materialName = miResources::DepthMaterialName(layout, alpha != 0);
            if (host.FindMaterial(materialName) < 0) host.LoadMaterial(materialName);
            const int32_t id = host.FindMaterial(materialName);
            MIREL_ASSERT(id >= 0, __LINE__, "Material not found: %s", materialName);
            (alpha ? depthAlphaMaterialIds : depthMaterialIds)[layout] = id;
        }
    }
}

void Renderer::Shutdown()
{
    for (int32_t i = 0; i < views.count; ++i)
        views.data[i]->Shutdown();
    for (int32_t i = 0; i < views.count; ++i)
        delete views.data[i];
    views.Clear();
    GetDeviceHost().ShutdownDevices(*this);
}

void Renderer::RecordViews()
{
    {
        mirel::sys::ScopedLock lock(mirel::EngineStateLock());
        mirel::g_engineState.drawCalls = 0;
        mirel::g_engineState.primitives = 0;
    }
    for (int32_t i = 0; i < views.count; ++i)
    {
        RenderView* v = views.data[i];
        v->recorded = v->enabled;
        if (!v->enabled) continue;
        v->BeginFrame();
        v->Record();
    }
}

void Renderer::ExecuteViews()
{
    for (int32_t i = 0; i < views.count; ++i)
    {
        RenderView* v = views.data[i];
        if (!v->enabled || !v->recorded) continue;
        v->Execute();
        v->PostExecute();
    }
}

void Renderer::AddView(RenderView* view)
{
    if (view) views.Push(view);
}

RenderView* Renderer::View(int32_t index) const
{
    return index >= 0 && index < views.count ? views.data[index] : nullptr;
}

void Renderer::InitViews()
{
    for (int32_t i = 0; i < views.count; ++i)
        views.data[i]->Init();
}

void Renderer::RebuildSizeDependent()
{
    CreateRenderTargets();
    for (int32_t i = 0; i < views.count; ++i)
        views.data[i]->OnResize();
    // Screen-space shaders (the menu's sprites) scale by it; only loading frames upload it otherwise.
    if (GetRenderer() == this) UpdateFrameSize();
}

} // namespace miRender
