// The demo's renderer: its render targets, its ten views in a fixed order, and which of them run
// as the demo moves from the load screen to the running scene; and the demo's scene passes.
#pragma once

#include "cadoraviews.h"

#include "render/renderer.h"

#include <cstdint>

namespace miRender
{

// The two kinds of target the render host does not make: one that shares another target's depth
// buffer, and the one that draws into the presented back buffer. The Direct3D 11 build makes them
// on the device; elsewhere they fall back to the host's plain targets.
class SceneTargets
{
  public:
    virtual ~SceneTargets() = default;
    virtual int32_t CreateWithBorrowedDepth(const char* name, uint32_t width, uint32_t height,
                                            uint32_t format, int32_t depthTargetId, int32_t samples);
    virtual int32_t CreateSwapChainTarget(const char* name, uint32_t width, uint32_t height);
};
// Null restores the build's own.
void SetSceneTargets(SceneTargets* targets);
SceneTargets& GetSceneTargets();

constexpr uint32_t kCascadeSize = 1024;

class CadoraRenderer : public Renderer
{
  public:
    void CreateRenderTargets() override;
    void CreateViews() override;
    void Init(void* device, void* owner) override;
    void ExecuteViews() override;
    void Shutdown() override;

    // The view in a slot of the list; null when that slot's owner supplied none.
    RenderView* SlotView(int32_t index) const;

    // The scene-build progress the application advances (0 .. 1.1); until it is installed the
    // demo counts as still loading.
    const float* loadProgress = nullptr;

  private:
    RenderView* slots_[kCadoraViewCount] = {};
};

extern CadoraRenderer g_cadoraRenderer;

// The sun's shadow map into "cascade0" from "shadowCam", drawing only the entities that cast a
// shadow. The camera looks the way the sun does, its box centred on the windmill.
class FP_Shadow_RV : public RenderView
{
  public:
    explicit FP_Shadow_RV(const char* viewName) : RenderView(viewName) {}
    void Init() override;
    void BeginFrame() override;
    void DrawEntities() override;
};

// Where the shadow camera's box is centred, and how far back along the sun's direction it sits.
constexpr float kShadowFocusHeight = 25.0f;
constexpr float kShadowDistance = 600.0f;
constexpr float kShadowBox = 100.0f;
// Points the shadow camera along "sunCamera" at the focus, with the orthographic box.
void AimShadowCamera(miSim::CameraEnt& shadow, const miSim::CameraEnt& sun, const mirel::Vec3& focus);

class FP_MainSceneOpaqueView : public RenderView
{
  public:
    explicit FP_MainSceneOpaqueView(const char* viewName) : RenderView(viewName) {}
    void Init() override;
};

class Sky_RV : public RenderView
{
  public:
    explicit Sky_RV(const char* viewName) : RenderView(viewName) {}
    void Init() override;
    void GatherEntities() override;
};

// The final pass onto the swap chain: the scene composited with the overlay target.
class Atmosphere_RV : public RenderView
{
  public:
    explicit Atmosphere_RV(const char* viewName) : RenderView(viewName) {}
    void Init() override;
    void Record() override;
};

} // namespace miRender
