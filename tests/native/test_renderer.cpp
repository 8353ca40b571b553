// The renderer and its views over the fake device: view order and enabling, frustum culling of
// the draw list, view and shared constant blocks, depth materials, the engine's views, full-screen
// draws, settings and resizing.
#include "core/props.h"
#include "frametimer.h"
#include "mainloop.h"
#include "render/material.h"
#include "render/renderer.h"
#include "scene/camera.h"
#include "scene/siment.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace miRender;
using mirel::test::FakeDevice;
using mirel::test::g_replayed;
using mirel::test::Replayed;
using mirel::test::ReportCapture;

namespace
{

const auto Ptr = &FakeDevice::Ptr;
constexpr int32_t kQuadModel = 3;
constexpr int32_t kSceneModel = 4;
const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

template <typename T> T Read(const std::vector<uint8_t>& bytes)
{
    T t{};
    std::memcpy(&t, bytes.data(), std::min(sizeof t, bytes.size()));
    return t;
}

// Every slot call of every view, in call order.
std::string g_calls;

class LoggingView : public RenderView
{
  public:
    using RenderView::RenderView;
    void BeginFrame() override { Log("begin"), RenderView::BeginFrame(); }
    void Record() override { Log("record"), RenderView::Record(); }
    void Execute() override { Log("execute"), RenderView::Execute(); }
    void PostExecute() override { Log("post"); }
    void OnResize() override { Log("resize"); }
    void Shutdown() override { Log("shutdown"); }
    void Log(const char* slot) { g_calls += std::string(g_calls.empty() ? "" : ", ") + slot + " " + name; }
};

class RendererTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        mirel::ClearProperties();
        miSim::ClearScenePools();
        miSim::g_cameraManager.Clear();
        miCamera::SetOutputSize(-1, -1);
        host.entityBuffers = false;
        host.models["fullscreen_quad"] = kQuadModel;
        host.everyMaterialDrawable = true;
        for (int32_t model : {kQuadModel, kSceneModel})
        {
            host.pipeModels[model] = {Ptr(0x30), Ptr(0x31), 56, 12, 4, model == kQuadModel ? 0u : 2u, 1};
            host.surfaces[{model, 0}] = {model == kSceneModel ? 7 : -1, 6, 0, Ptr(0x40)};
        }
        PipeCfgInfo& cfg = host.cfgs[0];
        std::fill(std::begin(cfg.shaderIds), std::end(cfg.shaderIds), -1);
        cfg.shaderIds[0] = 1;
        cfg.shaderIds[1] = 2;
        for (int32_t shader : {1, 2})
            host.shaders[shader] = {Ptr(0x500 + static_cast<uintptr_t>(shader)), Ptr(0x600)};
        // As the device layer answers: the depth material of the layout, by name.
        host.depthMaterial = [this](uint32_t layout, bool alphaTested) {
            return host.FindMaterial(
                miResources::DepthMaterialName(static_cast<int32_t>(layout), alphaTested));
        };
        host.Install();
        SetPipeExecutors(&mirel::test::g_loggingExecutors);
        g_replayed.clear();
        g_calls.clear();
        mirel::g_resizePending.store(0);
    }
    void TearDown() override
    {
        SetRenderer(nullptr);
        SetPipeExecutors(nullptr);
        miSim::ClearScenePools();
        miSim::g_cameraManager.Clear();
        mirel::ClearProperties();
    }

    // A camera at the origin looking down -Z with a 1:1 perspective.
    miSim::CameraEnt* MakeCamera(const char* name, float farZ = 100.0f)
    {
        miSim::CameraEnt* c = miSim::g_cameraManager.Create(name);
        c->transform.dirty = 1;
        miSim::SetPerspective(*c, 1.0f, 0.5f, farZ, 100, 100);
        miSim::UpdateMatrices(*c);
        return c;
    }

    // A scene entity with a world box around (x, 0, z) of half size h; world[0] carries a tag.
    miSim::DynamicEnt* MakeEntity(const char* name, float x, float z, float h, uint32_t flags = 0,
                                  uint32_t type = miSim::kEntityScene)
    {
        miSim::DynamicEnt* e = miSim::g_dynamicEntManager.Create(name);
        e->type = type;
        e->flags = flags;
        e->modelId = kSceneModel;
        e->transform.worldBoundsMin = {x - h, -h, z - h};
        e->transform.worldBoundsMax = {x + h, h, z + h};
        e->transform.world.m[0] = static_cast<float>(e->handle + 10);
        e->transform.constantBufferId = static_cast<uint32_t>(
            host.CreateConstantBuffer((std::string(name) + "_entConst").c_str(), 3, 64, nullptr));
        return e;
    }

    // The default views over "ldrMain", initialised.
    void Start(Renderer& r)
    {
        host.CreateRenderTarget("ldrMain", 64, 32, kFormatR8G8B8A8Unorm, true, 1);
        SetRenderer(&r);
        r.CreateViews();
        r.InitViews();
    }
    static void Frame(Renderer& r)
    {
        g_replayed.clear();
        r.RecordViews();
        r.ExecuteViews();
    }
    static std::vector<Replayed> Records(int op)
    {
        std::vector<Replayed> out;
        for (const Replayed& r : g_replayed)
            if (r.op == op) out.push_back(r);
        return out;
    }
    // world[0] of every 64-byte upload (the draws' world matrices here), in replay order.
    static std::vector<int> DrawnTags()
    {
        std::vector<int> tags;
        for (const Replayed& r : Records(kOpUpload))
            if (r.uploaded.size() == 64) tags.push_back(static_cast<int>(Read<float>(r.uploaded)));
        return tags;
    }

    FakeDevice host;
};

// ---- views in order, enabling

TEST_F(RendererTest, ViewsRecordAndExecuteInOrderOnlyWhenEnabledForTheStep)
{
    Renderer r;
    SetRenderer(&r);
    for (const char* n : {"first", "second", "third"})
        r.AddView(new LoggingView(n));
    r.InitViews();
    Frame(r);
    EXPECT_EQ(g_calls, "begin first, record first, begin second, record second, begin third, record third, "
                       "execute first, post first, execute second, post second, execute third, post third");
    g_calls.clear();
    r.View(1)->enabled = false;
    Frame(r);
    EXPECT_EQ(g_calls, "begin first, record first, begin third, record third, execute first, post first, "
                       "execute third, post third");
    // Switched on after the step: its last recording is from an older frame and is not replayed.
    g_calls.clear();
    r.View(1)->enabled = true;
    r.ExecuteViews();
    EXPECT_EQ(g_calls, "execute first, post first, execute third, post third");
    g_calls.clear();
    r.RebuildSizeDependent();
    r.Shutdown();
    EXPECT_EQ(g_calls,
              "resize first, resize second, resize third, shutdown first, shutdown second, shutdown third");
    EXPECT_EQ(r.ViewCount(), 0);
}

// ---- gathering and culling

TEST_F(RendererTest, DrawListKeepsVisibleSceneEntitiesOnly)
{
    MakeCamera("mainCamera");
    // Name, box centre x and z, half size, flags, type, drawn.
    const std::tuple<const char*, float, float, float, uint32_t, uint32_t, bool> cases[] = {
        {"inside", 0, -10, 1, 0, miSim::kEntityScene, true},
        {"straddlesNear", 0, 0, 1, 0, miSim::kEntityScene, true},
        {"straddlesFar", 0, -100, 5, 0, miSim::kEntityScene, true},
        {"behind", 0, 20, 1, 0, miSim::kEntityScene, false},
        {"farLeft", -80, -10, 1, 0, miSim::kEntityScene, false},
        {"beyondFar", 0, -150, 1, 0, miSim::kEntityScene, false},
        {"behindNeverCulled", 0, 20, 1, miSim::kEntityNeverCulled, miSim::kEntityScene, true},
        {"hiddenInside", 0, -10, 1, miSim::kEntityHidden, miSim::kEntityScene, false},
        {"hiddenNeverCulled", 0, -10, 1, miSim::kEntityHidden | miSim::kEntityNeverCulled,
         miSim::kEntityScene, false},
        {"sky", 0, -10, 1, miSim::kEntityNeverCulled, miSim::kEntitySky, false},
        {"light", 0, -10, 1, 0, miSim::kEntityLight, false},
    };
    std::vector<int> expected;
    for (const auto& [name, x, z, h, flags, type, drawn] : cases)
        if (const miSim::DynamicEnt* e = MakeEntity(name, x, z, h, flags, type); drawn)
            expected.push_back(e->handle + 10);
    Renderer r;
    Start(r);
    Frame(r);
    EXPECT_EQ(DrawnTags(), expected);
    Frame(r); // reuses the first frame's world matrix slots
    EXPECT_EQ(DrawnTags(), expected);
    RenderView* v = r.View(0);
    EXPECT_EQ(v->entities.count, 9); // every scene-type entity, hidden ones included
    // Without a camera every shown scene entity is drawn and the view's block is left alone.
    v->cameraHandle = -1;
    std::memset(&v->viewConstants, 0x5A, sizeof v->viewConstants);
    const ViewConstants before = v->viewConstants;
    Frame(r);
    EXPECT_EQ(Records(kOpDrawIndexed).size(), 7u);
    EXPECT_EQ(std::memcmp(&before, &v->viewConstants, sizeof before), 0);
}

// ---- view constants

TEST_F(RendererTest, ViewConstantsFollowTheCameraLayout)
{
    miSim::CameraEnt* c = MakeCamera("mainCamera", 250.0f);
    c->transform.position = {3, 4, 5};
    c->transform.rotation = {0, 90, 0};
    c->transform.dirty = 1;
    miSim::UpdateMatrices(*c);
    Renderer r;
    Start(r);
    Frame(r);
    // The view's block is uploaded first, with the bytes as they are at replay.
    ASSERT_FALSE(g_replayed.empty());
    ASSERT_EQ(g_replayed[0].op, kOpUpload);
    EXPECT_EQ(g_replayed[0].As<UploadPayload>().buffer,
              Ptr(FakeDevice::kBufferBase + r.View(0)->constantBufferId));
    const std::vector<uint8_t>& bytes = g_replayed[0].uploaded;
    ASSERT_EQ(bytes.size(), 304u);
    EXPECT_EQ(host.buffers[r.View(0)->constantBufferId].registerSlot, 1);
    const ViewConstants vc = Read<ViewConstants>(bytes);
    EXPECT_EQ(std::memcmp(vc.world, c->transform.world.m, 64), 0);
    EXPECT_EQ(std::memcmp(vc.view, c->view.m, 64), 0);
    EXPECT_EQ(std::memcmp(vc.projection, c->projection.m, 64), 0);
    mirel::Vec3 corners[8];
    miSim::GetFrustumCorners(*c, corners);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ((std::vector<float>{vc.farCornersX[k], vc.farCornersY[k], vc.farCornersZ[k]}),
                  (std::vector<float>{corners[4 + k].x, corners[4 + k].y, corners[4 + k].z}));
    const float* w = c->transform.world.m;
    const float tail[12] = {3, 4, 5, 1, -w[2], -w[6], -w[10], 1, 0.5f, 250.0f, 2.0f, 1.0f / 250.0f};
    EXPECT_EQ(std::memcmp(vc.position, tail, sizeof tail), 0);
    // Rotated a quarter turn about Y, the camera looks along -X.
    EXPECT_NEAR(vc.forward[0], -1.0f, 1e-5f);
}

// ---- depth materials

TEST_F(RendererTest, InitLoadsTheDepthMaterialOfEveryLayoutAndReportsAMissingOne)
{
    host.materials["depth/depthP"] = 7;      // already there: not loaded again
    host.unloadable = {"depth/depthPAlpha"}; // cannot be loaded: reported
    Renderer r;
    SetRenderer(&r);
    int device = 0;
    ReportCapture reports;
    r.Init(&device, &r);
    EXPECT_EQ(host.perfArgs, (std::pair<void*, void*>{&device, &r}));
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Material not found: depth/depthPAlpha"), std::string::npos);
    const char* plain[7] = {"depth/depthPNU",   "depth/depthPNUTB", "depth/depthP",    "depth/depthPNUTB",
                            "depth/depthPNUTB", "depth/depthPNUTB", "depth/depthPNUTB"};
    for (int layout = 0; layout < 7; ++layout)
    {
        EXPECT_EQ(r.depthMaterialIds[layout], host.materials[plain[layout]]) << layout;
        EXPECT_EQ(r.depthAlphaMaterialIds[layout],
                  layout == 2 ? -1 : host.materials[std::string(plain[layout]) + "Alpha"])
            << layout;
    }
    // Each of the five absent materials tried once.
    EXPECT_EQ(host.loaded,
              (std::vector<std::string>{"depth/depthPNU", "depth/depthPNUAlpha", "depth/depthPNUTB",
                                        "depth/depthPNUTBAlpha", "depth/depthPAlpha"}));
}

// ---- engine views, targets and full-screen draws

TEST_F(RendererTest, ZPrepassDrawsDepthMaterialsIntoWorldZClearedToFarDistance)
{
    MakeCamera("mainCamera", 321.0f);
    host.CreateRenderTarget("worldZ", 64, 32, kFormatR32Float, false, 1);
    MakeEntity("box", 0, -10, 1)->depthMaterialId = -1;
    Renderer r;
    SetRenderer(&r);
    r.Init(nullptr, &r);
    ZPrepass_RV* z = new ZPrepass_RV("zprepass");
    r.AddView(z);
    r.InitViews();
    EXPECT_FALSE(z->pipe.useBiasedRaster);
    Frame(r);
    EXPECT_EQ(Records(kOpDrawIndexed).size(), 1u);
    EXPECT_EQ(host.depthAsked, std::vector<uint32_t>{2u}); // depth-only
    ASSERT_EQ(Records(kOpClearColour).size(), 1u);
    EXPECT_FLOAT_EQ(Records(kOpClearColour)[0].As<ClearColourPayload>().colour[0], 321.0f);
    ASSERT_EQ(Records(kOpClearDepth).size(), 1u);
    EXPECT_FLOAT_EQ(Records(kOpClearDepth)[0].As<ClearDepthPayload>().depth, 1.0f);
}

TEST_F(RendererTest, EngineViewsReportWhatTheyCannotFind)
{
    ReportCapture reports;
    ZPrepass_RV z("zprepass");
    z.Init(); // neither camera nor target
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_NE(reports.Last().find("Render Target not found: worldZ"), std::string::npos);
    EXPECT_EQ(z.targetCount, 0u);
    EXPECT_EQ(z.cameraHandle, -1);
    MainSceneOpaqueView m("zprepass"); // a name taken: its constant buffer is not made
    m.Init();
    EXPECT_EQ(reports.Count(), 4);
    EXPECT_NE(reports.Last().find("Render Target not found: ldrMain"), std::string::npos);
    EXPECT_EQ(m.constantBufferId, PlatformDevicePipe::kNoBuffer);
    host.CreateRenderTarget("worldZ", 64, 32, kFormatR32Float, false, 1);
    ZPrepass_RV targeted("zprepass2");
    targeted.Init();
    EXPECT_EQ(reports.Count(), 5);
    EXPECT_NE(reports.Last().find("Main camera not found"), std::string::npos);
}

class FullscreenView : public RenderView
{
  public:
    using RenderView::RenderView;
    void Record() override { DrawFullscreen(material); }
    const char* material = "post";
};

TEST_F(RendererTest, DrawFullscreenUsesTheQuadTheMaterialAndTheIdentityWorld)
{
    Renderer r;
    SetRenderer(&r);
    InitRenderDevice(nullptr);
    host.materials["post"] = 42;
    host.CreateRenderTarget("swapChain", 64, 32, kFormatR8G8B8A8Unorm, false, 1);
    FullscreenView* v = new FullscreenView("fs");
    r.AddView(v);
    r.InitViews();
    const float green[4] = {0, 1, 0, 1};
    v->SetTarget("swapChain", true, false, green, 1.0f);
    Frame(r);
    EXPECT_EQ(Records(kOpDrawIndexed).size(), 1u);
    ASSERT_EQ(Records(kOpSetTargets).size(), 1u);
    EXPECT_EQ(Records(kOpSetTargets)[0].As<TargetsPayload>().rtv[0],
              Ptr(0x100 + static_cast<uintptr_t>(host.targets["swapChain"].id)));
    const auto uploads = Records(kOpUpload);
    ASSERT_EQ(uploads.size(), 2u); // the view's block and the world matrix
    EXPECT_EQ(uploads[1].As<UploadPayload>().buffer, Ptr(FakeDevice::kBufferBase + IdentityWorldBufferId()));
    EXPECT_EQ(std::memcmp(uploads[1].uploaded.data(), kIdentity, 64), 0);
    v->material = "missing";
    ReportCapture reports;
    Frame(r);
    EXPECT_EQ(Records(kOpDrawIndexed).size(), 0u);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Fullscreen render material not found: missing"), std::string::npos);
}

// ---- render initialisation and the shared blocks

int g_mouseRegistrations = 0;

TEST_F(RendererTest, InitRenderDeviceMakesTheSharedBlocksThatFrameConstantsFill)
{
    ReportCapture reports;
    InitRenderDevice(nullptr);
    EXPECT_NE(reports.Last().find("InitRenderDevice: No renderer has been set"), std::string::npos);
    mirel::RegisterProperty("render_init.resolutionX", mirel::kPropFloat);
    mirel::SetPropertyFloat("render_init.resolutionX", 800);
    Renderer r;
    SetRenderer(&r);
    g_mouseRegistrations = 0;
    SetMouseHandlerRegistration([] { ++g_mouseRegistrations; });
    int window = 0;
    InitRenderDevice(&window);
    SetMouseHandlerRegistration(nullptr);
    EXPECT_EQ(host.deviceWindow, &window);
    EXPECT_EQ(host.deviceWidth, 800u); // the size is read before the device is made
    EXPECT_EQ(r.outputWidth, 800u);
    EXPECT_TRUE(host.builtins);
    EXPECT_EQ(g_mouseRegistrations, 1);
    std::string made; // name, register and size of each buffer
    for (const FakeDevice::Buffer& b : host.buffers)
        made += b.name + " " + std::to_string(b.registerSlot) + " " + std::to_string(b.bytes) + ", ";
    ASSERT_EQ(made, "perFrame 0 64, cascadedSM 2 272, physicsIdentityWorldConstant 3 64, ");
    EXPECT_EQ(host.buffers[0].data, &FrameConstants());
    EXPECT_EQ(host.buffers[1].data, &ShadowConstants());
    EXPECT_EQ(std::memcmp(host.buffers[2].data, kIdentity, 64), 0);
    EXPECT_EQ(std::vector<int32_t>({PerFrameBufferId(), CascadedSMBufferId(), IdentityWorldBufferId()}),
              std::vector<int32_t>({0, 1, 2}));
    mirel::ResetAssertReports();
    UpdateFrameConstants();
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Sun cam not found"), std::string::npos);
    EXPECT_TRUE(host.immediateUploads.empty());
    miSim::CameraEnt* sun = MakeCamera("sunCamera");
    sun->transform.rotation = {-90, 0, 0};
    sun->transform.dirty = 1;
    miSim::UpdateMatrices(*sun);
    miSim::CameraEnt* shadow = MakeCamera("shadowCam");
    shadow->view.m[3] = 17.0f;
    shadow->projection.m[5] = 0.02f;
    r.outputWidth = 200;
    r.outputHeight = 100;
    mirel::g_frameTimer.delta = 0.016f;
    mirel::g_frameTimer.elapsed = 12.5f;
    r.settings.sunColor[0] = 9.0f;
    UpdateFrameConstants();
    ASSERT_EQ(host.immediateUploads.size(), 2u);
    EXPECT_EQ(host.immediateUploads[0].id, PerFrameBufferId());
    ASSERT_EQ(host.immediateUploads[0].bytes.size(), 64u);
    // The sun's direction is its -Z axis; the colour is the renderer's setting.
    const float* w = sun->transform.world.m;
    const float frame[16] = {0.016f, 12.5f, 2,      3, 200, 100, 1.0f / 200, 1.0f / 100,
                             -w[2],  -w[6], -w[10], 1, 9,   248, 219,        255};
    EXPECT_EQ(std::memcmp(host.immediateUploads[0].bytes.data(), frame, sizeof frame), 0);
    EXPECT_EQ(host.immediateUploads[1].id, CascadedSMBufferId());
    ASSERT_EQ(host.immediateUploads[1].bytes.size(), 272u);
    const auto s = Read<CascadedSMConstants>(host.immediateUploads[1].bytes);
    EXPECT_EQ((std::vector<float>{s.view0[3], s.view1[3], s.projection0[5], s.projection1[5]}),
              (std::vector<float>{17, 17, 0.02f, 0.02f}));
    r.outputWidth = r.outputHeight = 0; // no inverse of a zero size
    UpdateFrameConstants();
    const auto empty = Read<PerFrameConstants>(host.immediateUploads[2].bytes);
    EXPECT_EQ(std::vector<float>({empty.invOutputWidth, empty.invOutputHeight}), std::vector<float>(2, 0.0f));
}

// ---- settings

TEST(RenderSettings, ReadAsTheirRulesSay)
{
    // Text for string settings, else the number; the result as vsync, fullscreen, triple
    // buffering, auto-detection, samples, width and height.
    const std::tuple<const char*, const char*, float, std::vector<uint32_t>> cases[] = {
        {nullptr, nullptr, 0, {0, 0, 0, 0, 1, 1280, 720}},
        {"render_init.vsyncOn", "true", 0, {1, 0, 0, 0, 1, 1280, 720}},
        {"render_init.fullscreen", "true", 0, {0, 1, 0, 0, 1, 1280, 720}},
        {"render_init.triple_buffered", "true", 0, {0, 0, 1, 0, 1, 1280, 720}},
        {"render_init.autoDetect", "auto", 0, {0, 0, 0, 1, 1, 1280, 720}},
        {"render_init.autoDetect", "true", 0, {0, 0, 0, 0, 1, 1280, 720}},
        {"render_init.msaaSamples", nullptr, 0, {0, 0, 0, 0, 1, 1280, 720}},
        {"render_init.msaaSamples", nullptr, 4.9f, {0, 0, 0, 0, 4, 1280, 720}},
        {"render_init.msaaSamples", nullptr, 1e30f, {0, 0, 0, 0, kMaxSamples, 1280, 720}},
        {"render_init.resolutionX", nullptr, 1919.7f, {0, 0, 0, 0, 1, 1919, 720}},
        {"render_init.resolutionY", nullptr, 0, {0, 0, 0, 0, 1, 1280, 1}},
        {"render_init.resolutionY", nullptr, NAN, {0, 0, 0, 0, 1, 1280, 720}},
    };
    for (const auto& [key, text, number, read] : cases)
    {
        mirel::ClearProperties();
        if (key) mirel::RegisterProperty(key, text ? mirel::kPropString : mirel::kPropFloat);
        if (key && text) mirel::SetPropertyString(key, text);
        if (key && !text) mirel::SetPropertyFloat(key, number);
        const RenderInitSettings s = ReadRenderSettings();
        EXPECT_EQ((std::vector<uint32_t>{s.vsync, s.fullscreen, s.tripleBuffered, s.autoDetect, s.msaaSamples,
                                         s.width, s.height}),
                  read)
            << (key ? key : "none") << " " << (text ? text : "") << number;
    }
    mirel::ClearProperties();
    mirel::RegisterProperty("render_init.sunColor", mirel::kPropFloat4);
    mirel::SetPropertyFloat4("render_init.sunColor", 10, 20, 30, 40);
    mirel::RegisterProperty("render_init.sunDirection", mirel::kPropFloat4);
    mirel::SetPropertyFloat4("render_init.sunDirection", -45, 12, 0, 0);
    const RenderInitSettings s = ReadRenderSettings();
    EXPECT_EQ(std::vector<float>(s.sunColor, s.sunColor + 4), (std::vector<float>{10, 20, 30, 40}));
    EXPECT_EQ(std::vector<float>(s.sunDirection, s.sunDirection + 2), (std::vector<float>{-45, 12}));
    mirel::ClearProperties();
}

// ---- resizing

TEST_F(RendererTest, ResizeRequestsRaiseTheFlagAndTheRebuildTakesTheLatestSize)
{
    RequestResize();
    EXPECT_EQ(mirel::g_resizePending.load(), 0); // no renderer yet: nothing to rebuild
    Renderer r;
    SetRenderer(&r);
    mirel::RegisterProperty("render_init.resolutionX", mirel::kPropFloat);
    mirel::RegisterProperty("render_init.resolutionY", mirel::kPropFloat);
    mirel::SetPropertyFloat("render_init.resolutionX", 1280);
    mirel::SetPropertyFloat("render_init.resolutionY", 720);
    EXPECT_FALSE(ApplyResolutionSettings(r));
    mirel::SetPropertyFloat("render_init.resolutionX", 640);
    RequestResize();
    mirel::SetPropertyFloat("render_init.resolutionY", 400.5f);
    RequestResize();
    EXPECT_EQ(mirel::g_resizePending.load(), 1);
    EXPECT_TRUE(ApplyResolutionSettings(r));
    EXPECT_EQ(std::vector<uint32_t>({r.outputWidth, r.outputHeight, r.settings.width, r.settings.height}),
              std::vector<uint32_t>({640, 400, 640, 400}));
    EXPECT_FALSE(ApplyResolutionSettings(r));
    r.RebuildSizeDependent();
    const FakeDevice::TargetEntry& t = host.targets["ldrMain"];
    EXPECT_EQ(std::vector<uint32_t>({t.width, t.height, t.format, t.depth, static_cast<uint32_t>(t.samples)}),
              std::vector<uint32_t>({640, 400, kFormatR8G8B8A8Unorm, 1, 1}));
    // After loading only the rebuild brings the new size to the screen-space shaders.
    ASSERT_EQ(host.immediateUploads.size(), 1u);
    EXPECT_EQ(host.immediateUploads[0].id, PerFrameBufferId());
    ASSERT_EQ(host.immediateUploads[0].bytes.size(), sizeof(PerFrameConstants));
    const auto sent = Read<PerFrameConstants>(host.immediateUploads[0].bytes);
    const float size[4] = {640.0f, 400.0f, 1.0f / 640.0f, 1.0f / 400.0f};
    EXPECT_EQ(std::memcmp(&sent.outputWidth, size, sizeof size), 0);
}

} // namespace
