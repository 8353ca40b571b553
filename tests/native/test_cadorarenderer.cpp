// The demo renderer over a recording render host: its targets and their re-creation, the views it
// makes and what each one targets, the overlay slots, the enabling states driven by loading, the
// shadow pass's draw list and the shadow camera's aim along the sun.
#include "cadorarenderer.h"
#include "demostate.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include "scene/siment.h"
#include "mainloop.h"
#include "input/input.h"
#include "scene/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

using namespace miRender;

namespace
{

// Records the targets asked for, as "name WxH format depth borrowed-from", and the models the pipe
// is asked to draw; nothing is recorded.
class RecordingHost : public mirel::test::FakeDevice, public SceneTargets
{
  public:
    RecordingHost()
    {
        materials["skybox"] = 42;
        models = {{"ground", 1}, {"windmill_base", 2}, {"unitcube", 3}};
        anyModel = 4;
        modelBounds[0] = {-1, -1, -1};
        modelBounds[1] = {1, 1, 1};
    }
    int32_t Make(const char* name, uint32_t w, uint32_t h, uint32_t format, bool depth, int32_t from)
    {
        calls.push_back(std::string(name) + " " + std::to_string(w) + "x" + std::to_string(h) + " " +
                        std::to_string(format) + " " + (depth ? "d " : "- ") + std::to_string(from));
        return FakeDevice::CreateRenderTarget(name, w, h, format, depth, 1);
    }
    int32_t CreateRenderTarget(const char* name, uint32_t w, uint32_t h, uint32_t format, bool depth,
                               int32_t) override
    {
        return Make(name, w, h, format, depth, -1);
    }
    int32_t CreateWithBorrowedDepth(const char* name, uint32_t w, uint32_t h, uint32_t format, int32_t from,
                                    int32_t) override
    {
        return Make(name, w, h, format, false, from);
    }
    int32_t CreateSwapChainTarget(const char* name, uint32_t w, uint32_t h) override
    {
        return Make(name, w, h, 28, false, -2);
    }
    int32_t FindModel(const char*) override { return 7; }
    bool Model(int32_t id, PipeModelInfo& out) override
    {
        drawnModels.push_back(id);
        out = PipeModelInfo{};
        return true;
    }

    std::vector<std::string> calls;
    std::vector<int32_t> drawnModels;
};

// A view some other module owns, standing in for its factory's product.
template <int32_t Slot> RenderView* MakeOverlay()
{
    return new RenderView(kCadoraViewNames[Slot]);
}

class DemoRenderer : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        SetDeviceHost(&host);
        SetSceneTargets(&host);
        for (const char* name : {"mainCamera", "sunCamera"})
            miSim::SetPerspective(*miSim::g_cameraManager.Create(name), 0.7855f, 0.01f, 2000.0f, 640, 360);
        miSim::CameraEnt* sun = miSim::FindCamera("sunCamera");
        sun->transform.rotation = {-135.0f, -118.0f, 0.0f};
        sun->transform.dirty = 1;
        miSim::UpdateMatrices(*sun);
        miCamera::SetOutputSize(640, 360);
        renderer.outputWidth = 640;
        renderer.outputHeight = 360;
        renderer.settings.msaaSamples = 1;
        renderer.loadProgress = &progress;
        mirel::g_engineState.loadingDone.store(0);
        miCadora::State().snappyVisible = false;
        miInput::g_inputModule.Init();
    }
    void TearDown() override
    {
        renderer.Shutdown();
        for (int32_t i = 0; i < kCadoraViewCount; ++i)
            SetCadoraViewFactory(i, nullptr);
        miSim::ClearScenePools();
        SetSceneTargets(nullptr);
        SetDeviceHost(nullptr);
        miCamera::SetOutputSize(-1, -1);
    }
    void StartUp()
    {
        renderer.CreateRenderTargets();
        renderer.Init(nullptr, &renderer);
        renderer.CreateViews();
        renderer.InitViews();
    }
    std::string Enabled()
    {
        std::string s;
        for (int32_t i = 0; i < kCadoraViewCount; ++i)
            s += renderer.SlotView(i) ? (renderer.SlotView(i)->enabled ? '1' : '0') : '-';
        return s;
    }

    RecordingHost host;
    CadoraRenderer renderer;
    float progress = 0.0f;
};

TEST_F(DemoRenderer, TargetsInOrderAndRecreatedWithTheirIds)
{
    mirel::test::ReportCapture reports;
    const int32_t keysBefore = miInput::RegisteredKeyCount();
    StartUp();
    EXPECT_EQ(miInput::RegisteredKeyCount(), keysBefore + 5); // the renderer's hotkeys
    // The size-dependent targets first (start-up runs CreateRenderTargets before Init), then the
    // swap chain's from Init; worldZ borrows hdrMain's depth.
    EXPECT_EQ(host.calls, (std::vector<std::string>{"hdrMain 640x360 28 d -1", "worldZ 640x360 41 - 0",
                                                    "cascade0 1024x1024 41 d -1", "redbar 640x360 28 - -1",
                                                    "swapChain 640x360 28 - -2"}));
    // A resolution change: the size-dependent targets again at the new size.
    host.calls.clear();
    renderer.outputWidth = 800;
    renderer.outputHeight = 600;
    renderer.RebuildSizeDependent();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"hdrMain 800x600 28 d -1", "worldZ 800x600 41 - 0",
                                                    "cascade0 1024x1024 41 d -1", "redbar 800x600 28 - -1"}));
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
}

TEST_F(DemoRenderer, ViewsInListOrderWithTheirTargetsAndCameras)
{
    mirel::test::ReportCapture reports;
    SetCadoraViewFactory(kViewLoadScreen, MakeOverlay<kViewLoadScreen>);
    SetCadoraViewFactory(kViewRedbar, MakeOverlay<kViewRedbar>);
    SetCadoraViewFactory(kViewGui, MakeOverlay<kViewGui>);
    SetCadoraViewFactory(kViewDebug, MakeOverlay<kViewDebug>);
    SetCadoraViewFactory(kViewSnappy, MakeOverlay<kViewSnappy>);
    StartUp();
    const char* names[] = {"ls",       "FP_Shadow_RV", "mainSceneZPrepass", "mainSceneOpaque",
                           "Sky_RV",   "atmosphere",   "Redbar_RV",         "Gui_RV",
                           "Debug_RV", "Snappy_RV"};
    ASSERT_EQ(renderer.ViewCount(), kCadoraViewCount);
    for (int32_t i = 0; i < kCadoraViewCount; ++i)
    {
        ASSERT_EQ(renderer.View(i), renderer.SlotView(i));
        EXPECT_STREQ(renderer.View(i)->name, names[i]);
    }
    const int32_t mainCam = miSim::FindCamera("mainCamera")->handle;
    // Slot, target, colour and depth cleared, depth-only, first clear colour, camera.
    const std::tuple<int32_t, const char*, bool, bool, bool, float, int32_t> scene[] = {
        {kViewShadow, "cascade0", true, true, true, 4000.0f, miSim::FindCamera("shadowCam")->handle},
        {kViewZPrepass, "worldZ", true, true, true, 2000.0f, mainCam},
        {kViewOpaque, "hdrMain", true, true, false, 0.0f, mainCam},
        {kViewSky, "hdrMain", false, false, false, 0.0f, mainCam},
        {kViewAtmosphere, "swapChain", true, false, false, 0.0f, mainCam},
    };
    for (const auto& [slot, target, colour, depth, depthOnly, colour0, camera] : scene)
    {
        const RenderView* v = renderer.SlotView(slot);
        const ClearRecord& c = v->clears[0];
        EXPECT_EQ(std::make_tuple(v->targetCount, v->targetIds[0], c.clearColour, c.clearDepth,
                                  v->pipe.depthOnly, c.colour[0], v->cameraHandle),
                  std::make_tuple(1u, host.targets[target].id, colour, depth, depthOnly, colour0, camera))
            << v->name;
    }
    EXPECT_FLOAT_EQ(renderer.SlotView(kViewAtmosphere)->clears[0].colour[1], 1.0f);
    // The sky entity exists with the sky material; the final pass's material was loaded.
    miSim::DynamicEnt* sky = miSim::FindDynamicEnt("sky1");
    ASSERT_NE(sky, nullptr);
    EXPECT_EQ(sky->type, miSim::kEntitySky);
    EXPECT_EQ(sky->materialId, 42);
    EXPECT_GE(host.FindMaterial("atmosphere"), 0);
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
}

// Missing overlays leave empty slots that are skipped; the flags follow loading, and the scene
// passes keep theirs once the scene is ready.
TEST_F(DemoRenderer, LoadingDrivesTheEnabledFlagsOfTheFilledSlots)
{
    SetCadoraViewFactory(kViewSnappy, MakeOverlay<kViewSnappy>);
    StartUp();
    EXPECT_EQ(renderer.ViewCount(), 6);
    EXPECT_EQ(renderer.View(5), renderer.SlotView(kViewSnappy));
    EXPECT_EQ(Enabled(), "-11111---1"); // views start enabled
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "-00000---0");
    progress = 1.1f;
    miCadora::State().snappyVisible = true;
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "-11111---0");
    mirel::g_engineState.loadingDone.store(1);
    renderer.SlotView(kViewSky)->enabled = false;
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "-11101---1");
    // Without a progress source the demo counts as loading.
    renderer.loadProgress = nullptr;
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "-00000---0");
}

TEST_F(DemoRenderer, ShadowPassDrawsOnlyShadowCastersWithoutCulling)
{
    StartUp();
    miSim::BuildDynamicEnt("ground", "ground", {0, 1000, 0}, {0, 0, 0});
    miSim::FindDynamicEnt("ground")->flags &= ~static_cast<uint32_t>(miSim::kEntityCastsShadow);
    miSim::BuildDynamicEnt("windmill_base0", "windmill_base", {0, 1000, 0}, {0, 0, 0});
    miSim::BuildDynamicEnt("far_away", "windmill_blades", {5000, 1000, 0}, {0, 0, 0});
    SetPipeSource(&host);
    RenderView* shadow = renderer.SlotView(kViewShadow);
    shadow->GatherEntities();
    shadow->DrawEntities();
    SetPipeSource(nullptr);
    EXPECT_EQ(host.drawnModels, (std::vector<int32_t>{2, 4}));
}

TEST_F(DemoRenderer, ShadowCameraLooksAlongTheSunAtTheWindmill)
{
    StartUp();
    miSim::BuildDynamicEnt("windmill_base0", "windmill_base", {3, 1000, -4}, {0, 0, 0});
    renderer.SlotView(kViewShadow)->BeginFrame();
    miSim::CameraEnt* cam = miSim::FindCamera("shadowCam");
    const mirel::Vec3 sunDir = miSim::FindCamera("sunCamera")->transform.world.Column(2) * -1.0f;
    EXPECT_NEAR(mirel::Dot(sunDir, cam->transform.world.Column(2) * -1.0f), 1.0f, 1e-4f);
    const mirel::Mat4 vp = cam->projection * cam->view;
    auto clip = [&](float x, float y, float z) { return mirel::TransformVec4(vp, {x, y, z, 1.0f}); };
    const mirel::Vec4 focus = clip(3, 1000 + kShadowFocusHeight, -4);
    EXPECT_NEAR(focus.x, 0.0f, 1e-3f);
    EXPECT_NEAR(focus.y, 0.0f, 1e-3f);
    EXPECT_NEAR(focus.w, 1.0f, 1e-5f); // orthographic
    EXPECT_GT(focus.z, 0.0f);
    EXPECT_LT(focus.z, 1.0f);
    // The box is 100 units across: the ground 30 units off the windmill is inside, 80 units is not.
    const mirel::Vec4 near = clip(33, 1000, -4), far = clip(83, 1000, -4);
    EXPECT_LT(std::fabs(near.x), 1.0f);
    EXPECT_GT(std::max(std::fabs(far.x), std::fabs(far.y)), 1.0f);
    // The camera module's per-step update keeps the orthographic projection.
    const mirel::Mat4 before = cam->projection;
    miSim::UpdateMatrices(*cam);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(cam->projection.m[i], before.m[i]) << i;
}

} // namespace
