// The render view's frame: constants, targets, entity gathering and drawing; the main scene's
// opaque view.
#include "render/renderer.h"

#include "mainloop.h"
#include "render/material.h"
#include "scene/camera.h"
#include "scene/siment.h"
#include "core/utils.h"

#include <cstring>

namespace miRender
{

namespace
{
const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void CopyMatrix(float (&dst)[16], const mirel::Mat4& src)
{
    std::memcpy(dst, src.m, sizeof dst);
}
} // namespace

RenderView::RenderView(const char* viewName)
{
    const char* n = viewName ? viewName : "";
    MIREL_ASSERT(std::strlen(n) < sizeof name, __LINE__, "View name too long: %s", n);
    std::strncpy(name, n, sizeof name - 1);
    entities.Init(16, true);
}

RenderView::~RenderView() = default;

void RenderView::BeginFrame()
{
    UpdateViewConstants();
    pipe.Begin(constantBufferId);
    transformsUsed_ = 0;
    pipe.SetRenderTargets(static_cast<int32_t>(targetCount), targetIds, clears);
}

void RenderView::PostExecute() {}

void RenderView::Record()
{
    GatherEntities();
    DrawEntities();
}

void RenderView::Init()
{
    const int32_t id = GetDeviceHost().CreateNewConstantBuffer(name, miResources::kRegisterView,
                                                               miResources::kViewBytes, &viewConstants);
    constantBufferId = id >= 0 ? static_cast<uint32_t>(id) : PlatformDevicePipe::kNoBuffer;
    entities.Clear();
}

void RenderView::Shutdown() {}
void RenderView::OnResize() {}
void RenderView::Execute()
{
    pipe.Execute();
}

miSim::CameraEnt* RenderView::Camera() const
{
    return cameraHandle < 0 ? nullptr : miSim::g_cameraManager.FromHandle(cameraHandle);
}

void RenderView::UpdateViewConstants()
{
    const miSim::CameraEnt* camera = Camera();
    if (!camera) return;
    ViewConstants& vc = viewConstants;
    CopyMatrix(vc.world, camera->transform.world);
    CopyMatrix(vc.view, camera->view);
    CopyMatrix(vc.projection, camera->projection);
    mirel::Vec3 corners[8];
    miSim::GetFrustumCorners(*camera, corners);
    for (int i = 0; i < 4; ++i)
    {
        vc.farCornersX[i] = corners[4 + i].x;
        vc.farCornersY[i] = corners[4 + i].y;
        vc.farCornersZ[i] = corners[4 + i].z;
    }
    const mirel::Vec3& p = camera->transform.position;
    const float* w = camera->transform.world.m;
    const float position[4] = {p.x, p.y, p.z, 1.0f};
    const float forward[4] = {-w[2], -w[6], -w[10], 1.0f};
    const float depth[4] = {camera->nearZ, camera->farZ, 1.0f / camera->nearZ, 1.0f / camera->farZ};
    std::memcpy(vc.position, position, sizeof position);
    std::memcpy(vc.forward, forward, sizeof forward);
    std::memcpy(vc.depthRange, depth, sizeof depth);
    if (constantBufferId != PlatformDevicePipe::kNoBuffer)
        GetDeviceHost().SetConstantBufferData(static_cast<int32_t>(constantBufferId), &viewConstants);
}

void RenderView::GatherEntities()
{
    entities.Clear();
    mirel::ObjectManagerPooled<miSim::DynamicEnt>& pool = miSim::g_dynamicEntManager;
    for (int32_t i = 0; i < pool.Count(); ++i)
    {
        miSim::DynamicEnt* e = pool.AtIndex(i);
        if (e && e->type == miSim::kEntityScene) entities.Push(e);
    }
}

Transform* RenderView::FrameTransform()
{
    // The pipe keeps a pointer to the world matrix until the recording is executed, so each draw
    // gets a slot of its own that lives (and stays put) until the next BeginFrame().
    if (transformsUsed_ < transforms_.size()) return &transforms_[transformsUsed_++];
    transforms_.emplace_back();
    ++transformsUsed_;
    return &transforms_.back();
}

void RenderView::DrawEntities()
{
    const miSim::CameraEnt* camera = Camera();
    for (int32_t i = 0; i < entities.count; ++i)
    {
        const miSim::DynamicEnt* e = entities.data[i];
        if (!e || (e->flags & miSim::kEntityHidden)) continue;
        const miSim::Transform& t = e->transform;
        if (!(e->flags & miSim::kEntityNeverCulled) && camera &&
            miSim::TestBoxAgainstFrustum(camera->planes, t.worldBoundsMin, t.worldBoundsMax) ==
                miSim::kOutside)
            continue;
        Transform* drawn = FrameTransform();
        CopyMatrix(drawn->world, t.world);
        drawn->constantBufferId = static_cast<int32_t>(t.constantBufferId);
        pipe.DrawModel(static_cast<int32_t>(e->modelId), drawn, e->materialId, e->depthMaterialId,
                       e->instanced != 0, e->instanceCount);
    }
}

void RenderView::SetTarget(const char* targetName, bool clearColour, bool clearDepth, const float colour[4],
                           float depth)
{
    const int32_t id = GetDeviceHost().FindRenderTarget(targetName);
    MIREL_ASSERT(id >= 0, __LINE__, "Render Target not found: %s", targetName ? targetName : "");
    if (id < 0) return;
    targetIds[0] = id;
    ClearRecord& c = clears[0];
    c.clearColour = clearColour;
    c.clearDepth = clearDepth;
    std::memcpy(c.colour, colour, sizeof c.colour);
    c.depth = depth;
    // Views set their one target once; a second call replaces it rather than overrunning the list.
    if (targetCount < 1) targetCount = 1;
}

void RenderView::DrawFullscreen(const char* materialName)
{
    DeviceHost& host = GetDeviceHost();
    const int32_t quad = host.FindModel("fullscreen_quad");
    const int32_t material = host.FindMaterial(materialName);
    MIREL_ASSERT(material >= 0, __LINE__, "Fullscreen render material not found: %s",
                 materialName ? materialName : "");
    if (material < 0) return;
    Transform* t = FrameTransform();
    std::memcpy(t->world, kIdentity, sizeof t->world);
    t->constantBufferId = IdentityWorldBufferId();
    pipe.DrawModel(quad, t, material, -1, false, 1);
}

void MainSceneOpaqueView::Init()
{
    RenderView::Init();
    miSim::CameraEnt* camera = miSim::FindCamera("mainCamera");
    cameraHandle = camera ? camera->handle : -1;
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    SetTarget("ldrMain", true, true, black, 1.0f);
}

} // namespace miRender
