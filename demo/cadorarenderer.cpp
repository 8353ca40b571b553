#include "cadorarenderer.h"

#include "demostate.h"
#include "switches.h"

#include "mainloop.h"
#include "scene/camera.h"

#include "scene/siment.h"
#include "core/utils.h"

#include <cstring>

#ifdef _WIN32
#include "render/device/dx11/dx11Resources.h"
#endif

namespace miRender
{

CadoraRenderer g_cadoraRenderer;

namespace
{

class BuildSceneTargets final : public SceneTargets
{
#ifdef _WIN32
    int32_t CreateWithBorrowedDepth(const char* name, uint32_t width, uint32_t height, uint32_t format,
                                    int32_t depthTargetId, int32_t samples) override
    {
        return miResources::CreateRenderTarget(name, width, height, format, false, depthTargetId, samples);
    }
    int32_t CreateSwapChainTarget(const char* name, uint32_t, uint32_t) override
    {
        return miResources::CreateSwapChainTarget(name);
    }
#endif
};

BuildSceneTargets g_buildTargets;
SceneTargets* g_targets = &g_buildTargets;

RenderView* MakeSceneView(int32_t index)
{
    const char* name = kCadoraViewNames[index];
    switch (index)
    {
    case kViewShadow:
        return new FP_Shadow_RV(name);
    case kViewZPrepass:
        return new ZPrepass_RV(name);
    case kViewOpaque:
        return new FP_MainSceneOpaqueView(name);
    case kViewSky:
        return new Sky_RV(name);
    case kViewAtmosphere:
        return new Atmosphere_RV(name);
    default:
        break;
    }
    const ViewFactory factory = CadoraViewFactory(index);
    return factory ? factory() : nullptr;
}

int32_t CameraHandle(const char* name)
{
    miSim::CameraEnt* camera = miSim::FindCamera(name);
    return camera ? camera->handle : -1;
}

} // namespace

int32_t SceneTargets::CreateWithBorrowedDepth(const char* name, uint32_t width, uint32_t height,
                                              uint32_t format, int32_t, int32_t samples)
{
    return GetDeviceHost().CreateRenderTarget(name, width, height, format, false, samples);
}

int32_t SceneTargets::CreateSwapChainTarget(const char* name, uint32_t width, uint32_t height)
{
    return GetDeviceHost().CreateRenderTarget(name, width, height, kFormatR8G8B8A8Unorm, false, 1);
}

void SetSceneTargets(SceneTargets* targets)
{
    g_targets = targets ? targets : &g_buildTargets;
}
SceneTargets& GetSceneTargets()
{
    return *g_targets;
}

// ---- renderer

void CadoraRenderer::CreateRenderTargets()
{
    DeviceHost& host = GetDeviceHost();
    const int32_t samples = static_cast<int32_t>(settings.msaaSamples > 0 ? settings.msaaSamples : 1);
    const int32_t hdr =
        host.CreateRenderTarget("hdrMain", outputWidth, outputHeight, kFormatR8G8B8A8Unorm, true, samples);
    GetSceneTargets().CreateWithBorrowedDepth("worldZ", outputWidth, outputHeight, kFormatR32Float, hdr,
                                              samples);
    host.CreateRenderTarget("cascade0", kCascadeSize, kCascadeSize, kFormatR32Float, true, 1);
    host.CreateRenderTarget("redbar", outputWidth, outputHeight, kFormatR8G8B8A8Unorm, false, 1);
}

void CadoraRenderer::CreateViews()
{
    for (int32_t i = 0; i < kCadoraViewCount; ++i)
    {
        slots_[i] = MakeSceneView(i);
        AddView(slots_[i]);
    }
}

void CadoraRenderer::Init(void* device, void* owner)
{
    GetSceneTargets().CreateSwapChainTarget("swapChain", outputWidth, outputHeight);
    Renderer::Init(device, owner);
    miCadora::RegisterRendererHotkeys();
}

void CadoraRenderer::ExecuteViews()
{
    bool enabled[kCadoraViewCount];
    for (int32_t i = 0; i < kCadoraViewCount; ++i)
        enabled[i] = slots_[i] && slots_[i]->enabled;
    ApplyViewStates(enabled, loadProgress ? *loadProgress : 0.0f,
                    mirel::g_engineState.loadingDone.load() != 0, miCadora::State().snappyVisible);
    for (int32_t i = 0; i < kCadoraViewCount; ++i)
        if (slots_[i]) slots_[i]->enabled = enabled[i];
    Renderer::ExecuteViews();
}

void CadoraRenderer::Shutdown()
{
    Renderer::Shutdown();
    for (RenderView*& v : slots_)
        v = nullptr;
}

RenderView* CadoraRenderer::SlotView(int32_t index) const
{
    return index >= 0 && index < kCadoraViewCount ? slots_[index] : nullptr;
}

// ---- scene views

void AimShadowCamera(miSim::CameraEnt& shadow, const miSim::CameraEnt& sun, const mirel::Vec3& focus)
{
    const mirel::Vec3 forward = sun.transform.world.Column(2) * -1.0f;
    shadow.transform.rotation = sun.transform.rotation;
    shadow.transform.position = focus - forward * kShadowDistance;
    shadow.transform.dirty = 1;
    // Matching the output size keeps the camera module from rebuilding a perspective projection.
    shadow.width = miCamera::OutputWidth();
    shadow.height = miCamera::OutputHeight();
    miSim::UpdateTransform(shadow.transform, false);
    miSim::SetOrthographic(shadow, kShadowBox, kShadowBox);
    miSim::UpdateMatrices(shadow);
}

void FP_Shadow_RV::Init()
{
    RenderView::Init();
    miSim::CameraEnt* camera = miSim::FindCamera("shadowCam");
    if (!camera) camera = miSim::g_cameraManager.Create("shadowCam");
    if (camera)
    {
        miSim::SetPerspective(*camera, 0.7855f, 0.01f, 4000.0f, -1, -1);
        camera->transform.position = {0.37f, 1046.4f, 30.9f};
        camera->transform.rotation = {-22.21f, 2.69f, 0.0f};
        camera->transform.dirty = 1;
        miSim::UpdateTransform(camera->transform, false);
        camera->width = miCamera::OutputWidth();
        camera->height = miCamera::OutputHeight();
        miSim::SetOrthographic(*camera, kShadowBox, kShadowBox);
        miSim::UpdateMatrices(*camera);
    }
    cameraHandle = camera ? camera->handle : -1;
    const float clearFar[4] = {camera ? camera->farZ : 4000.0f, 0.0f, 0.0f, 1.0f};
    SetTarget("cascade0", true, true, clearFar, 1.0f);
    pipe.SetDepthOnly(true);
}

void FP_Shadow_RV::BeginFrame()
{
    miSim::CameraEnt* camera = Camera();
    const miSim::CameraEnt* sun = miSim::FindCamera("sunCamera");
    const miSim::DynamicEnt* windmill = miSim::FindDynamicEnt("windmill_base0");
    if (camera && sun && windmill)
    {
        const mirel::Vec3& p = windmill->transform.position;
        AimShadowCamera(*camera, *sun, mirel::Vec3{p.x, p.y + kShadowFocusHeight, p.z});
    }
    RenderView::BeginFrame();
}

void FP_Shadow_RV::DrawEntities()
{
    for (int32_t i = 0; i < entities.count; ++i)
    {
        const miSim::DynamicEnt* e = entities.data[i];
        if (!e || !(e->flags & miSim::kEntityCastsShadow)) continue;
        Transform* drawn = FrameTransform();
        std::memcpy(drawn->world, e->transform.world.m, sizeof drawn->world);
        drawn->constantBufferId = static_cast<int32_t>(e->transform.constantBufferId);
        pipe.DrawModel(static_cast<int32_t>(e->modelId), drawn, e->materialId, e->depthMaterialId, false, 1);
    }
}

void FP_MainSceneOpaqueView::Init()
{
    RenderView::Init();
    cameraHandle = CameraHandle("mainCamera");
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    SetTarget("hdrMain", true, true, black, 1.0f);
}

void Sky_RV::Init()
{
    RenderView::Init();
    cameraHandle = CameraHandle("mainCamera");
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    SetTarget("hdrMain", false, false, black, 1.0f);
    miSim::BuildDynamicEnt("sky1", "unitcube", mirel::Vec3{0.0f, 0.0f, 0.0f}, mirel::Vec3{0.0f, 0.0f, 0.0f},
                           miSim::kEntitySky);
}

void Sky_RV::GatherEntities()
{
    if (entities.count > 0) return;
    mirel::ObjectManagerPooled<miSim::DynamicEnt>& pool = miSim::g_dynamicEntManager;
    for (int32_t i = 0; i < pool.Count(); ++i)
    {
        miSim::DynamicEnt* e = pool.AtIndex(i);
        if (e && e->type == miSim::kEntitySky) entities.Push(e);
    }
}

void Atmosphere_RV::Init()
{
    RenderView::Init();
    cameraHandle = CameraHandle("mainCamera");
    const float green[4] = {0.0f, 1.0f, 0.0f, 1.0f};
    SetTarget("swapChain", true, false, green, 1.0f);
    DeviceHost& host = GetDeviceHost();
    if (host.FindMaterial("atmosphere") < 0) host.LoadMaterial("atmosphere");
}

void Atmosphere_RV::Record()
{
    DrawFullscreen("atmosphere");
}

} // namespace miRender
