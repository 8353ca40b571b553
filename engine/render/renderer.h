// The renderer and its render views: each view is one pass that picks a camera, its targets and
// a draw list, and records its commands into its own device pipe on the update thread; the
// message thread later replays, in list order, every enabled view that the last step recorded.
#pragma once

#include "core/datastructs.h"
#include "render/device/devicehost.h"
#include "render/device/devicepipe.h"
#include "render/render.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace miSim
{
class DynamicEnt;
class CameraEnt;
} // namespace miSim

namespace miResources
{
class Device;
} // namespace miResources

namespace miRender
{

using ClearRecord = TargetClear;

// Register b1, 304 bytes; matrices row by row.
struct ViewConstants
{
    float world[16];
    float view[16];
    float projection[16];
    // One coordinate of the far corners A, B, C, D per row.
    float farCornersX[4];
    float farCornersY[4];
    float farCornersZ[4];
    float reserved[4];
    float position[4];
    float forward[4];
    // nearZ, farZ, 1 / nearZ, 1 / farZ
    float depthRange[4];
};
static_assert(sizeof(ViewConstants) == 304, "view block is 304 bytes");
static_assert(offsetof(ViewConstants, farCornersX) == 192, "far corners at 192");
static_assert(offsetof(ViewConstants, position) == 256, "position at 256");
static_assert(offsetof(ViewConstants, forward) == 272, "forward at 272");
static_assert(offsetof(ViewConstants, depthRange) == 288, "depth range at 288");

constexpr int32_t kMaxViewTargets = 4;
constexpr uint32_t kFormatR8G8B8A8Unorm = 28;
constexpr uint32_t kFormatR32Float = 41;

class RenderView
{
  public:
    explicit RenderView(const char* viewName);
    RenderView(const RenderView&) = delete;
    RenderView& operator=(const RenderView&) = delete;

    virtual void BeginFrame();
    virtual void PostExecute();
    virtual void Record();
    virtual void Init();
    virtual void Shutdown();
    virtual void OnResize();
    virtual void Execute();
    virtual void UpdateViewConstants();
    virtual void GatherEntities();
    virtual void DrawEntities();
    virtual ~RenderView();

    // Looks the target up by name and makes it target 0 with these clears; reported when absent.
    void SetTarget(const char* targetName, bool clearColour, bool clearDepth, const float colour[4],
                   float depth);
    // The model "fullscreen_quad" with the named material and the identity world.
    void DrawFullscreen(const char* materialName);
    // The view's camera, null without one.
    miSim::CameraEnt* Camera() const;

    char name[64] = {};
    int32_t cameraHandle = -1;
    uint32_t targetCount = 0;
    int32_t targetIds[kMaxViewTargets] = {-1, -1, -1, -1};
    ClearRecord clears[kMaxViewTargets] = {};
    mirel::MiArray<miSim::DynamicEnt*> entities;
    PlatformDevicePipe pipe;
    ViewConstants viewConstants = {};
    uint32_t constantBufferId = PlatformDevicePipe::kNoBuffer;
    bool enabled = true;
    // Whether the last RecordViews() recorded this view. A view switched on between a step and
    // its execution holds only an older recording, which may name targets since replaced.
    bool recorded = false;

  protected:
    // A draw's world matrix that stays valid until the recording has been executed.
    Transform* FrameTransform();

  private:
    std::deque<Transform> transforms_;
    size_t transformsUsed_ = 0;
};

// The engine's opaque scene pass into "ldrMain" from "mainCamera".
class MainSceneOpaqueView : public RenderView
{
  public:
    explicit MainSceneOpaqueView(const char* viewName) : RenderView(viewName) {}
    void Init() override;
};

// Depth of the scene from "mainCamera" into "worldZ", cleared to the camera's far distance.
class ZPrepass_RV : public RenderView
{
  public:
    explicit ZPrepass_RV(const char* viewName) : RenderView(viewName) {}
    void Init() override;
};

constexpr int32_t kDepthMaterialSlots = 7;

class Renderer
{
  public:
    Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    virtual void CreateRenderTargets();
    virtual void CreateViews();
    // Both values go to the GPU timing object; then the depth materials are loaded.
    virtual void Init(void* device, void* owner);
    virtual void Shutdown();
    virtual void RecordViews();
    virtual void ExecuteViews();
    virtual ~Renderer();

    // Appends a view (the renderer owns it from now on); views record and execute in this order.
    void AddView(RenderView* view);
    int32_t ViewCount() const { return views.count; }
    // Null outside 0 .. ViewCount() - 1.
    RenderView* View(int32_t index) const;
    // Init() of every view in list order (start-up, after CreateViews()).
    void InitViews();
    // CreateRenderTargets(), every view's OnResize(), then the per-frame block's size fields.
    void RebuildSizeDependent();

    mirel::MiArray<miResources::Device*> devices;
    RenderInitSettings settings;
    uint32_t outputWidth = 1280;
    uint32_t outputHeight = 720;
    mirel::MiArray<RenderView*> views;
    int32_t depthMaterialIds[kDepthMaterialSlots] = {-1, -1, -1, -1, -1, -1, -1};
    int32_t depthAlphaMaterialIds[kDepthMaterialSlots] = {-1, -1, -1, -1, -1, -1, -1};
};

// The current renderer; the application sets it in its Init(), shut-down clears it.
void SetRenderer(Renderer* renderer);
Renderer* GetRenderer();

// Start-up of the render layer for a window: settings, device, shared constant buffers, built-in
// models, the GUI's mouse handlers.
void InitRenderDevice(void* window);
// The GUI installs the registration of its mouse handlers here.
void SetMouseHandlerRegistration(void (*registerHandlers)());

} // namespace miRender
