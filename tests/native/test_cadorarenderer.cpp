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
#include <map>
#include <string>
#include <vector>

using namespace miRender;

namespace
{

struct TargetCall
{
    std::string name;
    uint32_t width, height, format;
    bool depth;
    int32_t samples;
    int32_t borrowedFrom;
};

// Records the targets asked for, with the depth each borrows; the pipe only notes which models
// it is asked to draw, so nothing is recorded.
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
    int32_t Make(const std::string& name)
    {
        auto it = ids.find(name);
        if (it != ids.end()) return it->second;
        const int32_t id = static_cast<int32_t>(ids.size());
        ids[name] = id;
        return id;
    }
    int32_t FindRenderTarget(const char* name) override
    {
        auto it = ids.find(name);
        return it == ids.end() ? -1 : it->second;
    }
    int32_t CreateRenderTarget(const char* name, uint32_t w, uint32_t h, uint32_t format, bool depth,
                               int32_t samples) override
    {
        calls.push_back({name, w, h, format, depth, samples, -1});
        return Make(name);
    }
    int32_t CreateWithBorrowedDepth(const char* name, uint32_t w, uint32_t h, uint32_t format, int32_t from,
                                    int32_t samples) override
    {
        calls.push_back({name, w, h, format, false, samples, from});
        return Make(name);
    }
    int32_t CreateSwapChainTarget(const char* name, uint32_t w, uint32_t h) override
    {
        calls.push_back({name, w, h, 28, false, 1, -2});
        return Make(name);
    }
    int32_t FindModel(const char*) override { return 7; }
    bool Model(int32_t id, PipeModelInfo& out) override
    {
        drawnModels.push_back(id);
        out = PipeModelInfo{};
        return true;
    }

    std::map<std::string, int32_t> ids;
    std::vector<TargetCall> calls;
    std::vector<int32_t> drawnModels;
};

// A view some other module owns, standing in for its factory's product.
class OverlayView : public RenderView
{
  public:
    using RenderView::RenderView;
};
RenderView* MakeRedbar()
{
    return new OverlayView("Redbar_RV");
}
RenderView* MakeSnappy()
{
    return new OverlayView("Snappy_RV");
}
RenderView* MakeLoadScreen()
{
    return new OverlayView("ls");
}
RenderView* MakeGui()
{
    return new OverlayView("Gui_RV");
}
RenderView* MakeDebug()
{
    return new OverlayView("Debug_RV");
}

class DemoRenderer : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        SetDeviceHost(&host);
        SetSceneTargets(&host);
        for (const char* name : {"mainCamera", "sunCamera"})
        {
            miSim::CameraEnt* c = miSim::g_cameraManager.Create(name);
            miSim::SetPerspective(*c, 0.7855f, 0.01f, 2000.0f, 640, 360);
        }
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
    void InstallOverlays()
    {
        SetCadoraViewFactory(kViewLoadScreen, MakeLoadScreen);
        SetCadoraViewFactory(kViewRedbar, MakeRedbar);
        SetCadoraViewFactory(kViewGui, MakeGui);
        SetCadoraViewFactory(kViewDebug, MakeDebug);
        SetCadoraViewFactory(kViewSnappy, MakeSnappy);
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
    // Init registers the renderer's five hotkeys.
    EXPECT_EQ(miInput::RegisteredKeyCount(), keysBefore + 5);
    ASSERT_EQ(host.calls.size(), 5u);
    // The size-dependent targets first (start-up runs CreateRenderTargets before Init), then the
    // swap chain's from Init.
    const TargetCall want[] = {{"hdrMain", 640, 360, 28, true, 1, -1},
                               {"worldZ", 640, 360, 41, false, 1, host.ids["hdrMain"]},
                               {"cascade0", 1024, 1024, 41, true, 1, -1},
                               {"redbar", 640, 360, 28, false, 1, -1},
                               {"swapChain", 640, 360, 28, false, 1, -2}};
    const std::vector<TargetCall>& order = host.calls;
    for (size_t i = 0; i < order.size(); ++i)
    {
        EXPECT_EQ(order[i].name, want[i].name) << i;
        EXPECT_EQ(order[i].width, want[i].width) << order[i].name;
        EXPECT_EQ(order[i].height, want[i].height) << order[i].name;
        EXPECT_EQ(order[i].format, want[i].format) << order[i].name;
        EXPECT_EQ(order[i].depth, want[i].depth) << order[i].name;
        EXPECT_EQ(order[i].borrowedFrom, want[i].borrowedFrom) << order[i].name;
    }
    // A resolution change: the four size-dependent targets again at the new size, not the swap chain.
    const auto ids = host.ids;
    host.calls.clear();
    renderer.outputWidth = 800;
    renderer.outputHeight = 600;
    renderer.RebuildSizeDependent();
    ASSERT_EQ(host.calls.size(), 4u);
    for (const TargetCall& c : host.calls)
    {
        EXPECT_NE(c.name, "swapChain");
        EXPECT_EQ(c.width, c.name == "cascade0" ? 1024u : 800u) << c.name;
    }
    EXPECT_EQ(host.ids, ids);
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
}

TEST_F(DemoRenderer, ViewsInListOrderWithTheirTargetsAndCameras)
{
    mirel::test::ReportCapture reports;
    InstallOverlays();
    StartUp();
    ASSERT_EQ(renderer.ViewCount(), kCadoraViewCount);
    for (int32_t i = 0; i < kCadoraViewCount; ++i)
    {
        RenderView* v = renderer.View(i);
        ASSERT_EQ(v, renderer.SlotView(i));
        EXPECT_STREQ(v->name, kCadoraViewNames[i]);
    }
    const int32_t mainCam = miSim::FindCamera("mainCamera")->handle;
    const struct
    {
        int32_t slot;
        const char* target;
        bool clearColour, clearDepth;
        float colour0;
        int32_t camera;
    } scene[] = {
        {kViewShadow, "cascade0", true, true, 4000.0f, miSim::FindCamera("shadowCam")->handle},
        {kViewZPrepass, "worldZ", true, true, 2000.0f, mainCam},
        {kViewOpaque, "hdrMain", true, true, 0.0f, mainCam},
        {kViewSky, "hdrMain", false, false, 0.0f, mainCam},
        {kViewAtmosphere, "swapChain", true, false, 0.0f, mainCam},
    };
    for (const auto& s : scene)
    {
        RenderView* v = renderer.SlotView(s.slot);
        EXPECT_EQ(v->targetCount, 1u) << v->name;
        EXPECT_EQ(v->targetIds[0], host.ids[s.target]) << v->name;
        EXPECT_EQ(v->clears[0].clearColour, s.clearColour) << v->name;
        EXPECT_EQ(v->clears[0].clearDepth, s.clearDepth) << v->name;
        EXPECT_FLOAT_EQ(v->clears[0].colour[0], s.colour0) << v->name;
        EXPECT_EQ(v->cameraHandle, s.camera) << v->name;
    }
    EXPECT_FLOAT_EQ(renderer.SlotView(kViewAtmosphere)->clears[0].colour[1], 1.0f);
    EXPECT_TRUE(renderer.SlotView(kViewShadow)->pipe.depthOnly);
    EXPECT_TRUE(renderer.SlotView(kViewZPrepass)->pipe.depthOnly);
    EXPECT_FALSE(renderer.SlotView(kViewOpaque)->pipe.depthOnly);
    // The sky entity exists with the sky material; the final pass's material was loaded.
    miSim::DynamicEnt* sky = miSim::FindDynamicEnt("sky1");
    ASSERT_NE(sky, nullptr);
    EXPECT_EQ(sky->type, miSim::kEntitySky);
    EXPECT_EQ(sky->materialId, 42);
    EXPECT_GE(host.FindMaterial("atmosphere"), 0);
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
}

TEST_F(DemoRenderer, MissingOverlaysLeaveEmptySlotsThatAreSkipped)
{
    SetCadoraViewFactory(kViewSnappy, MakeSnappy);
    StartUp();
    EXPECT_EQ(renderer.ViewCount(), 6);
    EXPECT_EQ(renderer.SlotView(kViewLoadScreen), nullptr);
    EXPECT_EQ(renderer.SlotView(kViewRedbar), nullptr);
    ASSERT_NE(renderer.SlotView(kViewSnappy), nullptr);
    EXPECT_EQ(renderer.View(5), renderer.SlotView(kViewSnappy));
    progress = 1.1f;
    mirel::g_engineState.loadingDone.store(1);
    miCadora::State().snappyVisible = true;
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "-11111---1");
}

TEST_F(DemoRenderer, LoadingDrivesTheEnabledFlags)
{
    InstallOverlays();
    StartUp();
    EXPECT_EQ(Enabled(), "1111111111"); // views start enabled
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "1000000000");
    progress = 0.5f;
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "1000000000");
    progress = 1.1f;
    miCadora::State().snappyVisible = true;
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "1111110000");
    mirel::g_engineState.loadingDone.store(1);
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "0111111111");
    miCadora::State().snappyVisible = false;
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "0111111110");
    // Without a progress source the demo counts as loading.
    renderer.loadProgress = nullptr;
    renderer.ExecuteViews();
    EXPECT_EQ(Enabled(), "1000000000");
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
    FP_Shadow_RV* shadow = static_cast<FP_Shadow_RV*>(renderer.SlotView(kViewShadow));
    shadow->BeginFrame();
    miSim::CameraEnt* cam = miSim::FindCamera("shadowCam");
    const miSim::CameraEnt* sun = miSim::FindCamera("sunCamera");
    const mirel::Vec3 sunDir = sun->transform.world.Column(2) * -1.0f;
    const mirel::Vec3 camDir = cam->transform.world.Column(2) * -1.0f;
    EXPECT_NEAR(mirel::Dot(sunDir, camDir), 1.0f, 1e-4f);
    auto clip = [&](mirel::Vec3 p)
    {
        const mirel::Mat4 vp = cam->projection * cam->view;
        return mirel::Vec4{vp.Row(0).x * p.x + vp.Row(0).y * p.y + vp.Row(0).z * p.z + vp.Row(0).w,
                           vp.Row(1).x * p.x + vp.Row(1).y * p.y + vp.Row(1).z * p.z + vp.Row(1).w,
                           vp.Row(2).x * p.x + vp.Row(2).y * p.y + vp.Row(2).z * p.z + vp.Row(2).w,
                           vp.Row(3).x * p.x + vp.Row(3).y * p.y + vp.Row(3).z * p.z + vp.Row(3).w};
    };
    const mirel::Vec4 focus = clip({3, 1000 + kShadowFocusHeight, -4});
    EXPECT_NEAR(focus.x, 0.0f, 1e-3f);
    EXPECT_NEAR(focus.y, 0.0f, 1e-3f);
    EXPECT_NEAR(focus.w, 1.0f, 1e-5f); // orthographic
    EXPECT_GT(focus.z, 0.0f);
    EXPECT_LT(focus.z, 1.0f);
    // The box is 100 units across: the ground 30 units off the windmill is inside, 80 units is not.
    const mirel::Vec4 near = clip({33, 1000, -4}), far = clip({83, 1000, -4});
    EXPECT_LT(std::fabs(near.x), 1.0f);
    EXPECT_GT(std::max(std::fabs(far.x), std::fabs(far.y)), 1.0f);
    // The camera module's per-step update keeps the orthographic projection.
    const mirel::Mat4 before = cam->projection;
    miSim::UpdateMatrices(*cam);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(cam->projection.m[i], before.m[i]) << i;
}

TEST_F(DemoRenderer, MissingTargetIsReported)
{
    mirel::test::ReportCapture reports;
    renderer.CreateViews();
    renderer.InitViews();
    EXPECT_GE(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Render Target not found: "), std::string::npos) << reports.Last();
}

} // namespace
