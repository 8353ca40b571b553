// The renderer and its views over a fake render host and pipe source: view order and enabling,
// recording on one thread and replay on another, frustum culling of the draw list, view and
// shared constant blocks, depth materials, targets, full-screen draws, settings and resizing.
#include "core/props.h"
#include "scene/siment.h"
#include "core/sys.h"
#include "mainloop.h"
#include "scene/camera.h"
#include "render/renderer.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace miRender;
using mirel::test::ReportCapture;

namespace
{

void* Ptr(uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}
constexpr uintptr_t kBufferBase = 0x7000;
constexpr int32_t kQuadModel = 3;
constexpr int32_t kSceneModel = 4;

// What replay saw: draws, and every upload with a copy of its bytes taken at replay time.
struct Upload
{
    uintptr_t buffer;
    std::vector<uint8_t> bytes;
};
struct ReplayLog
{
    int draws = 0;
    std::vector<Upload> uploads;
    std::vector<TargetsPayload> targets;
    std::vector<ClearColourPayload> colourClears;
};
ReplayLog g_replay;

void Nothing(const void*) {}
void OnDraw(const void*)
{
    ++g_replay.draws;
}
void OnUpload(const void* p)
{
    UploadPayload u;
    std::memcpy(&u, p, sizeof u);
    const uint8_t* data = static_cast<const uint8_t*>(u.data);
    g_replay.uploads.push_back(
        {reinterpret_cast<uintptr_t>(u.buffer), std::vector<uint8_t>(data, data + u.bytes)});
}
void OnTargets(const void* p)
{
    TargetsPayload t;
    std::memcpy(&t, p, sizeof t);
    g_replay.targets.push_back(t);
}
void OnClearColour(const void* p)
{
    ClearColourPayload c;
    std::memcpy(&c, p, sizeof c);
    g_replay.colourClears.push_back(c);
}
PipeExecutors MakeExecutors()
{
    PipeExecutors t;
    for (PipeExec& e : t.exec)
        e = Nothing;
    t.exec[kOpDrawIndexed] = OnDraw;
    t.exec[kOpUpload] = OnUpload;
    t.exec[kOpSetTargets] = OnTargets;
    t.exec[kOpClearColour] = OnClearColour;
    return t;
}
const PipeExecutors g_executors = MakeExecutors();

// Every slot call of every view, in call order.
std::vector<std::string> g_calls;

class LoggingView : public RenderView
{
  public:
    using RenderView::RenderView;
    void BeginFrame() override
    {
        g_calls.push_back(std::string("begin ") + name);
        RenderView::BeginFrame();
    }
    void Record() override
    {
        g_calls.push_back(std::string("record ") + name);
        RenderView::Record();
    }
    void Execute() override
    {
        g_calls.push_back(std::string("execute ") + name);
        RenderView::Execute();
    }
    void PostExecute() override { g_calls.push_back(std::string("post ") + name); }
    void OnResize() override { g_calls.push_back(std::string("resize ") + name); }
    void Shutdown() override { g_calls.push_back(std::string("shutdown ") + name); }
};

class TestRenderer : public Renderer
{
  public:
    void CreateViews() override
    {
        for (const char* n : {"first", "second", "third"})
            AddView(new LoggingView(n));
    }
};

template <typename U> float UploadFloat(const U& u, size_t offset)
{
    float f;
    std::memcpy(&f, u.bytes.data() + offset, sizeof f);
    return f;
}

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
        cfg.id = 0;
        for (int32_t& s : cfg.shaderIds)
            s = -1;
        cfg.shaderIds[0] = 1;
        cfg.shaderIds[1] = 2;
        cfg.samplerKeys = samplerKeys;
        cfg.samplers = samplers;
        for (int32_t shader : {1, 2})
            host.shaders[shader] = {Ptr(0x500 + static_cast<uintptr_t>(shader)), Ptr(0x600)};
        host.depthMaterial = [](uint32_t layout, bool alphaTested) {
            return GetRenderer() ? GetRenderer()->DepthMaterialId(static_cast<int32_t>(layout), alphaTested)
                                 : -1;
        };
        host.Install();
        SetPipeExecutors(&g_executors);
        g_replay = ReplayLog{};
        g_calls.clear();
        mirel::g_resizePending.store(0);
    }
    void TearDown() override
    {
        SetRenderer(nullptr);
        SetDeviceHost(nullptr);
        SetPipeSource(nullptr);
        SetPipeExecutors(nullptr);
        miSim::ClearScenePools();
        miSim::g_cameraManager.Clear();
        mirel::ClearProperties();
    }

    // A camera at the origin looking down -Z with a 1:1 perspective.
    miSim::CameraEnt* MakeCamera(const char* name, float farZ = 100.0f)
    {
        miSim::CameraEnt* c = miSim::g_cameraManager.Create(name);
        c->transform.position = {0, 0, 0};
        c->transform.rotation = {0, 0, 0};
        c->transform.dirty = 1;
        miSim::SetPerspective(*c, 1.0f, 0.5f, farZ, 100, 100);
        miSim::UpdateMatrices(*c);
        return c;
    }

    // A scene entity with a world box around (x, y, z) of half size h; world[0] carries a tag.
    miSim::DynamicEnt* MakeEntity(const char* name, float x, float y, float z, float h, uint32_t flags = 0,
                                  uint32_t type = miSim::kEntityScene)
    {
        miSim::DynamicEnt* e = miSim::g_dynamicEntManager.Create(name);
        e->type = type;
        e->flags = flags;
        e->modelId = kSceneModel;
        e->transform.worldBoundsMin = {x - h, y - h, z - h};
        e->transform.worldBoundsMax = {x + h, y + h, z + h};
        e->transform.world.m[0] = static_cast<float>(e->handle + 10);
        e->transform.constantBufferId = static_cast<uint32_t>(
            host.CreateConstantBuffer((std::string(name) + "_entConst").c_str(), 3, 64, nullptr));
        return e;
    }

    // Tags of the entities whose world matrix the replay uploaded, in upload order.
    std::vector<int> DrawnTags()
    {
        std::vector<int> tags;
        for (const Upload& u : g_replay.uploads)
        {
            const uintptr_t id = u.buffer - kBufferBase;
            if (id < host.buffers.size() && host.buffers[id].name.find("_entConst") != std::string::npos)
                tags.push_back(static_cast<int>(UploadFloat(u, 0)));
        }
        return tags;
    }

    void StartRenderer(Renderer& r)
    {
        SetRenderer(&r);
        r.CreateRenderTargets();
        r.Init(nullptr, &r);
        r.CreateViews();
        r.InitViews();
    }

    mirel::test::FakeDevice host;
    SamplerKey samplerKeys[kPipeStages * kPipeSlots] = {};
    void* samplers[kPipeStages * kPipeSlots] = {};
};

// ---- views in order, enabling

TEST_F(RendererTest, ViewsRecordAndExecuteInCreationOrderSkippingDisabledOnes)
{
    TestRenderer r;
    StartRenderer(r);
    ASSERT_EQ(r.ViewCount(), 3);
    r.RecordViews();
    r.ExecuteViews();
    const std::vector<std::string> all = {"begin first",    "record first", "begin second",  "record second",
                                          "begin third",    "record third", "execute first", "post first",
                                          "execute second", "post second",  "execute third", "post third"};
    EXPECT_EQ(g_calls, all);

    g_calls.clear();
    r.FindView("second")->enabled = false;
    r.RecordViews();
    r.ExecuteViews();
    const std::vector<std::string> without = {"begin first",   "record first",  "begin third",
                                              "record third",  "execute first", "post first",
                                              "execute third", "post third"};
    EXPECT_EQ(g_calls, without);

    // Switched on after the step: its last recording is from an older frame and is not replayed.
    g_calls.clear();
    r.FindView("second")->enabled = true;
    r.ExecuteViews();
    EXPECT_EQ(g_calls,
              (std::vector<std::string>{"execute first", "post first", "execute third", "post third"}));

    g_calls.clear();
    r.RebuildSizeDependent();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"resize first", "resize second", "resize third"}));
    g_calls.clear();
    r.Shutdown();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"shutdown first", "shutdown second", "shutdown third"}));
    EXPECT_EQ(r.ViewCount(), 0);
}

TEST_F(RendererTest, ViewInitCreatesItsConstantBufferAndDuplicateNamesAreReported)
{
    Renderer r;
    SetRenderer(&r);
    r.AddView(new RenderView("twin"));
    r.AddView(new RenderView("twin"));
    ReportCapture reports;
    r.InitViews();
    ASSERT_TRUE(host.bufferIds.count("twin"));
    const mirel::test::FakeDevice::Buffer& b = host.buffers[static_cast<size_t>(host.bufferIds["twin"])];
    EXPECT_EQ(b.registerSlot, 1);
    EXPECT_EQ(b.bytes, 304);
    EXPECT_EQ(b.data, &r.View(0)->viewConstants);
    EXPECT_EQ(r.View(0)->constantBufferId, static_cast<uint32_t>(host.bufferIds["twin"]));
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Trying to create an object that already exists: twin"), std::string::npos);
}

// ---- recording on the update thread, replay on the message thread

TEST_F(RendererTest, RecordingOnOneThreadIsReplayedOnAnotherFrameByFrame)
{
    MakeCamera("mainCamera");
    host.CreateRenderTarget("ldrMain", 64, 32, kFormatR8G8B8A8Unorm, true, 1);
    miSim::DynamicEnt* e = MakeEntity("mover", 0, 0, -10, 1);
    Renderer r;
    SetRenderer(&r);
    r.CreateViews();
    r.InitViews();

    mirel::sys::AutoResetEvent start, done;
    constexpr int kFrames = 40;
    std::thread update(
        [&]
        {
            for (int frame = 0; frame < kFrames; ++frame)
            {
                start.Wait();
                e->transform.world.m[0] = static_cast<float>(1000 + frame);
                r.RecordViews();
                done.Set();
            }
        });
    for (int frame = 0; frame < kFrames; ++frame)
    {
        start.Set();
        done.Wait();
        g_replay = ReplayLog{};
        r.ExecuteViews();
        ASSERT_EQ(g_replay.draws, 1) << frame;
        ASSERT_EQ(DrawnTags(), std::vector<int>{1000 + frame}) << frame;
    }
    update.join();
}

// ---- gathering and culling

TEST_F(RendererTest, DrawListKeepsVisibleSceneEntitiesOnly)
{
    MakeCamera("mainCamera");
    host.CreateRenderTarget("ldrMain", 64, 32, kFormatR8G8B8A8Unorm, true, 1);
    struct Case
    {
        const char* name;
        float x, y, z, h;
        uint32_t flags, type;
        bool drawn;
    };
    const Case cases[] = {
        {"inside", 0, 0, -10, 1, 0, miSim::kEntityScene, true},
        {"straddlesNear", 0, 0, 0, 1, 0, miSim::kEntityScene, true},
        {"straddlesFar", 0, 0, -100, 5, 0, miSim::kEntityScene, true},
        {"behind", 0, 0, 20, 1, 0, miSim::kEntityScene, false},
        {"farLeft", -80, 0, -10, 1, 0, miSim::kEntityScene, false},
        {"beyondFar", 0, 0, -150, 1, 0, miSim::kEntityScene, false},
        {"behindNeverCulled", 0, 0, 20, 1, miSim::kEntityNeverCulled, miSim::kEntityScene, true},
        {"hiddenInside", 0, 0, -10, 1, miSim::kEntityHidden, miSim::kEntityScene, false},
        {"hiddenNeverCulled", 0, 0, -10, 1, miSim::kEntityHidden | miSim::kEntityNeverCulled,
         miSim::kEntityScene, false},
        {"sky", 0, 0, -10, 1, miSim::kEntityNeverCulled, miSim::kEntitySky, false},
        {"light", 0, 0, -10, 1, 0, miSim::kEntityLight, false},
    };
    std::vector<int> expected;
    for (const Case& c : cases)
    {
        const miSim::DynamicEnt* e = MakeEntity(c.name, c.x, c.y, c.z, c.h, c.flags, c.type);
        if (c.drawn) expected.push_back(e->handle + 10);
    }
    Renderer r;
    SetRenderer(&r);
    r.CreateViews();
    r.InitViews();
    r.RecordViews();
    r.ExecuteViews();
    EXPECT_EQ(DrawnTags(), expected);
    EXPECT_EQ(g_replay.draws, static_cast<int>(expected.size()));
    RenderView* v = r.View(0);
    EXPECT_EQ(v->entities.count, 9); // every scene-type entity, hidden ones included
}

TEST_F(RendererTest, ViewWithoutCameraDrawsEverythingAndLeavesItsConstantsAlone)
{
    host.CreateRenderTarget("ldrMain", 64, 32, kFormatR8G8B8A8Unorm, true, 1);
    MakeEntity("behind", 0, 0, 20, 1);
    MakeEntity("far", 0, 0, -5000, 1);
    Renderer r;
    SetRenderer(&r);
    r.CreateViews(); // no "mainCamera": the view has none
    r.InitViews();
    RenderView* v = r.View(0);
    EXPECT_EQ(v->cameraHandle, -1);
    std::memset(&v->viewConstants, 0x5A, sizeof v->viewConstants);
    const ViewConstants before = v->viewConstants;
    r.RecordViews();
    r.ExecuteViews();
    EXPECT_EQ(g_replay.draws, 2);
    EXPECT_EQ(std::memcmp(&before, &v->viewConstants, sizeof before), 0);
}

TEST_F(RendererTest, ManyDrawsKeepTheirOwnWorldMatrixUntilReplay)
{
    MakeCamera("mainCamera");
    host.CreateRenderTarget("ldrMain", 64, 32, kFormatR8G8B8A8Unorm, true, 1);
    std::vector<int> expected;
    for (int i = 0; i < 90; ++i)
        expected.push_back(MakeEntity(("e" + std::to_string(i)).c_str(), 0, 0, -10, 1)->handle + 10);
    Renderer r;
    SetRenderer(&r);
    r.CreateViews();
    r.InitViews();
    for (int frame = 0; frame < 2; ++frame)
    {
        g_replay = ReplayLog{};
        r.RecordViews();
        r.ExecuteViews();
        EXPECT_EQ(DrawnTags(), expected) << frame;
    }
}

// ---- view constants

TEST_F(RendererTest, ViewConstantsFollowTheCameraLayout)
{
    miSim::CameraEnt* c = MakeCamera("mainCamera", 250.0f);
    c->transform.position = {3, 4, 5};
    c->transform.rotation = {0, 90, 0};
    c->transform.dirty = 1;
    miSim::UpdateMatrices(*c);
    host.CreateRenderTarget("ldrMain", 64, 32, kFormatR8G8B8A8Unorm, true, 1);
    Renderer r;
    SetRenderer(&r);
    r.CreateViews();
    r.InitViews();
    r.RecordViews();
    r.ExecuteViews();

    // The view's block is uploaded first, with the bytes as they are at replay.
    ASSERT_FALSE(g_replay.uploads.empty());
    const Upload& u = g_replay.uploads.front();
    ASSERT_EQ(u.bytes.size(), 304u);
    EXPECT_EQ(u.buffer - kBufferBase, r.View(0)->constantBufferId);
    const float* w = c->transform.world.m;
    for (int i = 0; i < 16; ++i)
    {
        EXPECT_FLOAT_EQ(UploadFloat(u, 4 * i), w[i]);
        EXPECT_FLOAT_EQ(UploadFloat(u, 64 + 4 * i), c->view.m[i]);
        EXPECT_FLOAT_EQ(UploadFloat(u, 128 + 4 * i), c->projection.m[i]);
    }
    mirel::Vec3 corners[8];
    miSim::GetFrustumCorners(*c, corners);
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_FLOAT_EQ(UploadFloat(u, 192 + 4 * k), corners[4 + k].x);
        EXPECT_FLOAT_EQ(UploadFloat(u, 208 + 4 * k), corners[4 + k].y);
        EXPECT_FLOAT_EQ(UploadFloat(u, 224 + 4 * k), corners[4 + k].z);
    }
    const float tail[12] = {3, 4, 5, 1, -w[2], -w[6], -w[10], 1, 0.5f, 250.0f, 2.0f, 1.0f / 250.0f};
    for (int i = 0; i < 12; ++i)
        EXPECT_FLOAT_EQ(UploadFloat(u, 256 + 4 * i), tail[i]) << i;
    // Rotated a quarter turn about Y, the camera looks along -X.
    EXPECT_NEAR(UploadFloat(u, 272), -1.0f, 1e-5f);
}

// ---- depth materials

TEST_F(RendererTest, InitLoadsTheDepthMaterialOfEveryLayout)
{
    host.materials["depth/depthP"] = 7; // already there: not loaded again
    Renderer r;
    SetRenderer(&r);
    int device = 0;
    r.Init(&device, &r);
    EXPECT_EQ(host.perfArgs, (std::pair<void*, void*>{&device, &r}));
    const char* plain[7] = {"depth/depthPNU",   "depth/depthPNUTB", "depth/depthP",    "depth/depthPNUTB",
                            "depth/depthPNUTB", "depth/depthPNUTB", "depth/depthPNUTB"};
    for (int layout = 0; layout < 7; ++layout)
    {
        EXPECT_EQ(r.depthMaterialIds[layout], host.materials[plain[layout]]) << layout;
        EXPECT_EQ(r.depthAlphaMaterialIds[layout], host.materials[std::string(plain[layout]) + "Alpha"])
            << layout;
        EXPECT_EQ(r.DepthMaterialId(layout, true), r.depthAlphaMaterialIds[layout]);
    }
    EXPECT_EQ(r.depthMaterialIds[2], 7);
    EXPECT_EQ(r.DepthMaterialId(7, false), -1);
    EXPECT_EQ(r.DepthMaterialId(-1, true), -1);
    // Each of the five distinct materials loaded once; the existing one not at all.
    EXPECT_EQ(host.loaded.size(), 5u);
    EXPECT_EQ(std::set<std::string>(host.loaded.begin(), host.loaded.end()).count("depth/depthP"), 0u);
}

TEST_F(RendererTest, MissingDepthMaterialIsReportedByName)
{
    host.unloadable = {"depth/depthPAlpha"};
    Renderer r;
    ReportCapture reports;
    r.Init(nullptr, nullptr);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Material not found: depth/depthPAlpha"), std::string::npos);
    EXPECT_EQ(r.depthAlphaMaterialIds[2], -1);
    EXPECT_GE(r.depthMaterialIds[2], 0);
}

// ---- engine views, targets and full-screen draws

TEST_F(RendererTest, ZPrepassDrawsDepthMaterialsIntoWorldZClearedToFarDistance)
{
    MakeCamera("mainCamera", 321.0f);
    host.CreateRenderTarget("ldrMain", 64, 32, kFormatR8G8B8A8Unorm, true, 1);
    host.CreateRenderTarget("worldZ", 64, 32, kFormatR32Float, false, 1);
    miSim::DynamicEnt* e = MakeEntity("box", 0, 0, -10, 1);
    e->depthMaterialId = -1;
    Renderer r;
    SetRenderer(&r);
    r.Init(nullptr, &r);
    ZPrepass_RV* z = new ZPrepass_RV("zprepass");
    r.AddView(z);
    r.InitViews();
    EXPECT_EQ(z->targetIds[0], host.targets["worldZ"].id);
    EXPECT_EQ(z->targetCount, 1u);
    EXPECT_FLOAT_EQ(z->clears[0].colour[0], 321.0f);
    EXPECT_TRUE(z->clears[0].clearColour && z->clears[0].clearDepth);
    EXPECT_FLOAT_EQ(z->clears[0].depth, 1.0f);
    EXPECT_TRUE(z->pipe.depthOnly);
    EXPECT_FALSE(z->pipe.useBiasedRaster);
    r.RecordViews();
    r.ExecuteViews();
    EXPECT_EQ(g_replay.draws, 1);
    ASSERT_EQ(g_replay.colourClears.size(), 1u);
    EXPECT_FLOAT_EQ(g_replay.colourClears[0].colour[0], 321.0f);
}

TEST_F(RendererTest, EngineViewsReportWhatTheyCannotFind)
{
    ReportCapture reports;
    ZPrepass_RV z("zprepass");
    z.Init();
    EXPECT_NE(reports.Last().find("Render Target not found: worldZ"), std::string::npos);
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_EQ(z.targetCount, 0u);
    EXPECT_EQ(z.cameraHandle, -1);

    MainSceneOpaqueView m("opaque");
    m.Init();
    EXPECT_NE(reports.Last().find("Render Target not found: ldrMain"), std::string::npos);
    EXPECT_EQ(reports.Count(), 3);
}

TEST_F(RendererTest, ZPrepassWithoutMainCameraIsReported)
{
    host.CreateRenderTarget("worldZ", 64, 32, kFormatR32Float, false, 1);
    ReportCapture reports;
    ZPrepass_RV z("zprepass");
    z.Init();
    EXPECT_EQ(reports.Count(), 1);
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
    r.RecordViews();
    r.ExecuteViews();
    EXPECT_EQ(g_replay.draws, 1);
    ASSERT_EQ(g_replay.targets.size(), 1u);
    EXPECT_EQ(g_replay.targets[0].rtv[0], Ptr(0x100 + static_cast<uintptr_t>(host.targets["swapChain"].id)));
    bool identityUploaded = false;
    for (const Upload& u : g_replay.uploads)
        if (u.buffer - kBufferBase == static_cast<uintptr_t>(IdentityWorldBufferId()))
        {
            const float id[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
            identityUploaded = u.bytes.size() == 64 && std::memcmp(u.bytes.data(), id, 64) == 0;
        }
    EXPECT_TRUE(identityUploaded);

    v->material = "missing";
    ReportCapture reports;
    g_replay = ReplayLog{};
    r.RecordViews();
    r.ExecuteViews();
    EXPECT_EQ(g_replay.draws, 0);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Fullscreen render material not found: missing"), std::string::npos);
}

// ---- render initialisation and the shared blocks

TEST_F(RendererTest, InitRenderDeviceNeedsARenderer)
{
    ReportCapture reports;
    InitRenderDevice(nullptr);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("InitRenderDevice: No renderer has been set"), std::string::npos);
    EXPECT_TRUE(host.buffers.empty());
    EXPECT_FALSE(host.builtins);
}

int g_mouseRegistrations = 0;
void CountMouseRegistration()
{
    ++g_mouseRegistrations;
}

TEST_F(RendererTest, InitRenderDeviceMakesTheSharedBuffersModelsAndDevice)
{
    mirel::RegisterProperty("render_init.resolutionX", mirel::kPropFloat);
    mirel::SetPropertyFloat("render_init.resolutionX", 800);
    Renderer r;
    SetRenderer(&r);
    g_mouseRegistrations = 0;
    SetMouseHandlerRegistration(CountMouseRegistration);
    int window = 0;
    InitRenderDevice(&window);
    SetMouseHandlerRegistration(nullptr);
    EXPECT_EQ(host.deviceWindow, &window);
    EXPECT_EQ(host.deviceWidth, 800u);
    EXPECT_EQ(r.outputWidth, 800u);
    EXPECT_TRUE(host.builtins);
    EXPECT_EQ(g_mouseRegistrations, 1);
    ASSERT_EQ(host.buffers.size(), 3u);
    const mirel::test::FakeDevice::Buffer expected[3] = {{"perFrame", 0, 64, &FrameConstants()},
                                                         {"cascadedSM", 2, 272, &ShadowConstants()},
                                                         {"physicsIdentityWorldConstant", 3, 64, nullptr}};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(host.buffers[i].name, expected[i].name);
        EXPECT_EQ(host.buffers[i].registerSlot, expected[i].registerSlot);
        EXPECT_EQ(host.buffers[i].bytes, expected[i].bytes);
    }
    EXPECT_EQ(host.buffers[0].data, expected[0].data);
    EXPECT_EQ(host.buffers[1].data, expected[1].data);
    const float* identity = static_cast<const float*>(host.buffers[2].data);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(identity[i], i % 5 == 0 ? 1.0f : 0.0f);
    EXPECT_EQ(PerFrameBufferId(), 0);
    EXPECT_EQ(CascadedSMBufferId(), 1);
    EXPECT_EQ(IdentityWorldBufferId(), 2);
}

TEST_F(RendererTest, FrameConstantsNeedTheSunAndFillBothBlocks)
{
    Renderer r;
    SetRenderer(&r);
    InitRenderDevice(nullptr);
    {
        ReportCapture reports;
        UpdateFrameConstants();
        EXPECT_EQ(reports.Count(), 1);
        EXPECT_NE(reports.Last().find("Sun cam not found"), std::string::npos);
        EXPECT_TRUE(host.immediateUploads.empty());
    }
    miSim::CameraEnt* sun = MakeCamera("sunCamera");
    sun->transform.rotation = {-90, 0, 0}; // looks straight down
    sun->transform.dirty = 1;
    miSim::UpdateMatrices(*sun);
    miSim::CameraEnt* shadow = MakeCamera("shadowCam");
    shadow->view.m[3] = 17.0f;
    shadow->projection.m[5] = 0.02f;
    r.outputWidth = 200;
    r.outputHeight = 100;
    UpdateFrameConstants();
    ASSERT_EQ(host.immediateUploads.size(), 2u);
    const auto& f = host.immediateUploads[0];
    ASSERT_EQ(f.bytes.size(), 64u);
    EXPECT_EQ(f.id, PerFrameBufferId());
    EXPECT_FLOAT_EQ(UploadFloat(f, 8), 2.0f);
    EXPECT_FLOAT_EQ(UploadFloat(f, 12), 3.0f);
    EXPECT_FLOAT_EQ(UploadFloat(f, 16), 200.0f);
    EXPECT_FLOAT_EQ(UploadFloat(f, 28), 0.01f);
    EXPECT_NEAR(UploadFloat(f, 36), -1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(UploadFloat(f, 44), 1.0f);
    EXPECT_FLOAT_EQ(UploadFloat(f, 48), 251.0f);
    EXPECT_FLOAT_EQ(UploadFloat(f, 60), 255.0f);
    const auto& s = host.immediateUploads[1];
    ASSERT_EQ(s.bytes.size(), 272u);
    EXPECT_EQ(s.id, CascadedSMBufferId());
    for (size_t cascade : {16u, 144u})
    {
        EXPECT_FLOAT_EQ(UploadFloat(s, cascade + 12), 17.0f);
        EXPECT_FLOAT_EQ(UploadFloat(s, cascade + 64 + 20), 0.02f);
    }
}

TEST(FrameBlocks, PerFrameFieldsSitAtTheirOffsets)
{
    mirel::Mat4 sun;
    sun.m[2] = 0.25f;
    sun.m[6] = -0.5f;
    sun.m[10] = 0.75f;
    const float colour[4] = {1, 2, 3, 4};
    PerFrameConstants pf;
    FillPerFrameConstants(pf, 0.016f, 12.5f, 1920, 1080, sun, colour);
    uint8_t bytes[64];
    std::memcpy(bytes, &pf, sizeof bytes);
    const float expected[16] = {0.016f, 12.5f, 2,      3, 1920, 1080, 1.0f / 1920, 1.0f / 1080,
                                -0.25f, 0.5f,  -0.75f, 1, 1,    2,    3,           4};
    for (int i = 0; i < 16; ++i)
    {
        float v;
        std::memcpy(&v, bytes + 4 * i, sizeof v);
        EXPECT_FLOAT_EQ(v, expected[i]) << "offset " << 4 * i;
    }
    FillPerFrameConstants(pf, 0, 0, 0, 0, sun, colour);
    EXPECT_EQ(pf.invOutputWidth, 0.0f);
    EXPECT_EQ(pf.invOutputHeight, 0.0f);
}

// ---- settings

struct SettingCase
{
    const char* key;
    bool isString;
    const char* text;
    float number;
    bool (*check)(const RenderInitSettings&);
};

class RenderSettingsTable : public ::testing::TestWithParam<SettingCase>
{
  protected:
    void SetUp() override { mirel::ClearProperties(); }
    void TearDown() override { mirel::ClearProperties(); }
};

TEST_P(RenderSettingsTable, ReadsAsTheExactRulesSay)
{
    const SettingCase& c = GetParam();
    if (c.key)
    {
        mirel::RegisterProperty(c.key, c.isString ? mirel::kPropString : mirel::kPropFloat);
        if (c.isString)
            mirel::SetPropertyString(c.key, c.text);
        else
            mirel::SetPropertyFloat(c.key, c.number);
    }
    EXPECT_TRUE(c.check(ReadRenderSettings()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderSettingsTable,
    ::testing::Values(SettingCase{"render_init.vsyncOn", true, "true", 0,
                                  [](const RenderInitSettings& s) { return s.vsync; }},
                      SettingCase{"render_init.vsyncOn", true, "True", 0,
                                  [](const RenderInitSettings& s) { return !s.vsync; }},
                      SettingCase{"render_init.vsyncOn", true, "true ", 0,
                                  [](const RenderInitSettings& s) { return !s.vsync; }},
                      SettingCase{nullptr, true, nullptr, 0,
                                  [](const RenderInitSettings& s)
                                  {
                                      return !s.vsync && !s.fullscreen && !s.tripleBuffered &&
                                             !s.autoDetect && s.msaaSamples == 1 && s.width == 1280 &&
                                             s.height == 720;
                                  }},
                      SettingCase{"render_init.fullscreen", true, "true", 0,
                                  [](const RenderInitSettings& s) { return s.fullscreen; }},
                      SettingCase{"render_init.fullscreen", true, "truex", 0,
                                  [](const RenderInitSettings& s) { return !s.fullscreen; }},
                      SettingCase{"render_init.triple_buffered", true, "true", 0,
                                  [](const RenderInitSettings& s) { return s.tripleBuffered; }},
                      SettingCase{"render_init.autoDetect", true, "auto", 0,
                                  [](const RenderInitSettings& s) { return s.autoDetect; }},
                      SettingCase{"render_init.autoDetect", true, "true", 0,
                                  [](const RenderInitSettings& s) { return !s.autoDetect; }},
                      SettingCase{"render_init.msaaSamples", false, nullptr, 0,
                                  [](const RenderInitSettings& s) { return s.msaaSamples == 1; }},
                      SettingCase{"render_init.msaaSamples", false, nullptr, -3,
                                  [](const RenderInitSettings& s) { return s.msaaSamples == 1; }},
                      SettingCase{"render_init.msaaSamples", false, nullptr, 4.9f,
                                  [](const RenderInitSettings& s) { return s.msaaSamples == 4; }},
                      SettingCase{"render_init.msaaSamples", false, nullptr, 1e30f,
                                  [](const RenderInitSettings& s) { return s.msaaSamples == kMaxSamples; }},
                      SettingCase{"render_init.resolutionX", false, nullptr, 1919.7f,
                                  [](const RenderInitSettings& s) { return s.width == 1919; }},
                      SettingCase{"render_init.resolutionY", false, nullptr, 0,
                                  [](const RenderInitSettings& s) { return s.height == 1; }},
                      SettingCase{"render_init.resolutionY", false, nullptr, NAN,
                                  [](const RenderInitSettings& s) { return s.height == 720; }}));

TEST(RenderSettings, SunColourAndDirectionComeFromTheirFloat4s)
{
    mirel::ClearProperties();
    mirel::RegisterProperty("render_init.sunColor", mirel::kPropFloat4);
    mirel::SetPropertyFloat4("render_init.sunColor", 10, 20, 30, 40);
    mirel::RegisterProperty("render_init.sunDirection", mirel::kPropFloat4);
    mirel::SetPropertyFloat4("render_init.sunDirection", -45, 12, 0, 0);
    const RenderInitSettings s = ReadRenderSettings();
    EXPECT_EQ(std::vector<float>(s.sunColor, s.sunColor + 4), (std::vector<float>{10, 20, 30, 40}));
    EXPECT_FLOAT_EQ(s.sunDirection[0], -45.0f);
    EXPECT_FLOAT_EQ(s.sunDirection[1], 12.0f);
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
    EXPECT_EQ(r.outputWidth, 640u);
    EXPECT_EQ(r.outputHeight, 400u);
    EXPECT_EQ(r.settings.width, 640u);
    EXPECT_EQ(r.settings.height, 400u);
    EXPECT_FALSE(ApplyResolutionSettings(r));

    host.immediateUploads.clear();
    r.RebuildSizeDependent();
    EXPECT_EQ(host.targets["ldrMain"].width, 640u);
    EXPECT_EQ(host.targets["ldrMain"].height, 400u);
    EXPECT_EQ(host.targets["ldrMain"].format, kFormatR8G8B8A8Unorm);
    EXPECT_TRUE(host.targets["ldrMain"].depth);
    EXPECT_EQ(host.targets["ldrMain"].samples, 1);
    // After loading only the rebuild brings the new size to the screen-space shaders.
    ASSERT_EQ(host.immediateUploads.size(), 1u);
    EXPECT_EQ(host.immediateUploads[0].id, PerFrameBufferId());
    ASSERT_EQ(host.immediateUploads[0].bytes.size(), sizeof(PerFrameConstants));
    PerFrameConstants sent;
    std::memcpy(&sent, host.immediateUploads[0].bytes.data(), sizeof sent);
    EXPECT_FLOAT_EQ(sent.outputWidth, 640.0f);
    EXPECT_FLOAT_EQ(sent.outputHeight, 400.0f);
    EXPECT_FLOAT_EQ(sent.invOutputWidth, 1.0f / 640.0f);
    EXPECT_FLOAT_EQ(sent.invOutputHeight, 1.0f / 400.0f);
    SetRenderer(nullptr);
}

} // namespace
