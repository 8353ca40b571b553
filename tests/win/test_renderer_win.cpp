// The Direct3D 11 frame back end on Wine: start-up on a hidden window, a renderer whose opaque
// view draws the unit cube into "ldrMain" (read back), a full-screen pass into the back buffer,
// the draw counters, and a resize that rebuilds the targets and the swap chain.
#include "core/props.h"
#include "scene/siment.h"
#include "mainloop.h"
#include "scene/camera.h"
#include "render/device/dx11/dx11Backend.h"
#include "support/readback.h"
#include "render/renderer.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace miResources;

namespace
{

// The view's camera (b1) and the entity's world (b3) place the cube; b4 holds its colour.
const char* kCubeShader = R"(
cbuffer View : register(b1) { float4x4 camWorld; float4x4 viewMatrix; float4x4 projMatrix; };
cbuffer World : register(b3) { float4x4 objectWorld; };
cbuffer Mat : register(b4) { float4 colour; };
struct VSIn { float3 pos : POSITION; float3 n : NORMAL; float2 uv : TEXCOORD0; float3 t : TANGENT; float3 b : BINORMAL; };
float4 mainVS(VSIn i) : SV_Position { return mul(mul(mul(float4(i.pos, 1), objectWorld), viewMatrix), projMatrix); }
float4 mainPS(float4 p : SV_Position) : SV_Target { return colour; }
)";

const char* kFillShader = R"(
cbuffer Mat : register(b4) { float4 colour; };
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; };
float4 mainVS(VSIn i) : SV_Position { return float4(i.pos.xy * 0.5, 0.5, 1); }
float4 mainPS(float4 p : SV_Position) : SV_Target { return colour; }
)";

// The engine's opaque view, plus a full-screen fill into the back buffer.
class FillView : public miRender::RenderView
{
  public:
    using RenderView::RenderView;
    void Init() override
    {
        RenderView::Init();
        const float black[4] = {0, 0, 0, 1};
        SetTarget("swapChain", true, false, black, 1.0f);
    }
    void Record() override { DrawFullscreen("fill"); }
};

class TestRenderer : public miRender::Renderer
{
  public:
    void Init(void* device, void* owner) override
    {
        miResources::CreateSwapChainTarget("swapChain");
        Renderer::Init(device, owner);
    }
    void CreateViews() override
    {
        Renderer::CreateViews();
        AddView(new FillView("fill"));
    }
};

TestRenderer g_renderer;
float g_cubeColour[4] = {0.25f, 0.5f, 0.75f, 1.0f};
float g_fillColour[4] = {1.0f, 0.0f, 0.5f, 1.0f};

class Dx11Backend : public ::testing::Test
{
  public:
    static void SetUpTestSuite()
    {
        mirel::SetAssetRoot((std::string(mirel::GetExecutableDirectory()) + "/renderer_assets").c_str());
        mirel::ClearProperties();
        for (const char* k : {"render_init.fullscreen", "render_init.vsyncOn"})
            mirel::SetPropertyString(k, "false");
        SetResolution(320, 240);
        // Never shown: the back end must not need a visible window.
        window = TestWindow(L"MirelBackendTest", 320, 240, false);
        miRender::InstallDx11FrameBackend();
        miRender::SetRenderer(&g_renderer);
        mirel::Backend().InitRenderDevice(window);
        miSim::CameraEnt* cam = miSim::g_cameraManager.Create("mainCamera");
        cam->transform.position = {0, 0, 4}, cam->transform.dirty = 1;
        miSim::SetPerspective(*cam, 0.7855f, 0.1f, 100.0f, miCamera::OutputWidth(), miCamera::OutputHeight());
        miSim::UpdateMatrices(*cam);
        MakeMaterial("unitcube", kCubeShader, "pnttb", g_cubeColour);
        MakeMaterial("fill", kFillShader, "pt", g_fillColour);
        cube = miSim::BuildDynamicEnt("cube", "unitcube", {0, 0, 0}, {0, 0, 0});
        mirel::Backend().SetUpRenderer();
    }
    static void TearDownTestSuite()
    {
        mirel::Backend().ShutdownRenderer();
        mirel::Backend().ClearObjectManagers();
        miSim::g_cameraManager.Clear();
        mirel::SetFrameBackend(nullptr);
        DestroyWindow(window);
    }

    // Not presented: the back buffer is read before it is handed over.
    static void Frame()
    {
        mirel::Backend().RecordViews();
        mirel::Backend().ExecuteViews();
    }
    static PlatformRenderTarget* LdrMain() { return RenderTargets().Find("ldrMain"); }
    static void SetResolution(float w, float h)
    {
        mirel::SetPropertyFloat("render_init.resolutionX", w);
        mirel::SetPropertyFloat("render_init.resolutionY", h);
    }
    static void MoveCube(float z)
    {
        cube->transform.position = {0, 0, z}, cube->transform.dirty = 1;
        miSim::UpdateTransform(cube->transform, true);
    }
    // The back buffer's size is the output size everywhere, and ldrMain's.
    static void ExpectOutputSize(uint32_t w, uint32_t h)
    {
        DXGI_SWAP_CHAIN_DESC d{};
        CurrentDevice()->swapChain->GetDesc(&d);
        ASSERT_NE(LdrMain(), nullptr);
        const auto camera = std::make_pair(miCamera::OutputWidth(), miCamera::OutputHeight());
        EXPECT_EQ(std::make_tuple(d.BufferDesc.Width, d.BufferDesc.Height, g_renderer.outputWidth,
                                  g_renderer.outputHeight, LdrMain()->width, LdrMain()->height),
                  std::make_tuple(w, h, w, h, w, h));
        EXPECT_EQ(camera, std::make_pair(static_cast<int32_t>(w), static_cast<int32_t>(h)));
    }

    static inline HWND window = nullptr;
    static inline miSim::DynamicEnt* cube = nullptr;
};

TEST_F(Dx11Backend, StartsOnAHiddenWindowWithTheSharedBuffersAndModels)
{
    ASSERT_TRUE(mirel::Backend().HasDevice());
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(g_renderer.devices.count, 1);
    // The device settles on a display mode (Wine has one); its back buffer is the output size.
    DXGI_SWAP_CHAIN_DESC d{};
    CurrentDevice()->swapChain->GetDesc(&d);
    ExpectOutputSize(d.BufferDesc.Width, d.BufferDesc.Height);
    using Entry = std::tuple<const char*, int32_t, int32_t>;
    const Entry buffers[] = {
        {"perFrame", 64, 0}, {"cascadedSM", 272, 2}, {"physicsIdentityWorldConstant", 64, 3}};
    for (const auto& [name, size, slot] : buffers)
    {
        const PlatformConstantBuffer* cb = ConstantBuffers().Find(name);
        ASSERT_TRUE(cb && cb->buffer) << name;
        EXPECT_EQ(std::make_pair(cb->byteSize, cb->registerSlot), std::make_pair(size, slot)) << name;
    }
    EXPECT_NE(ConstantBuffers().Find("cube_entConst"), nullptr);
    EXPECT_TRUE(Models().Find("fullscreen_quad") && Models().Find("particleEmitterPoint"));
    // The shipped depth materials compiled and are the renderer's.
    for (int layout = 0; layout < 7; ++layout)
        EXPECT_GE(std::min(g_renderer.depthMaterialIds[layout], g_renderer.depthAlphaMaterialIds[layout]), 0)
            << layout;
}

TEST_F(Dx11Backend, OpaqueViewDrawsTheCubeIntoLdrMainAndCountsIt)
{
    mirel::g_engineState.overlayGpuTiming.store(1);
    Frame();
    mirel::g_engineState.overlayGpuTiming.store(0);
    EXPECT_EQ(mirel::g_engineState.drawCalls, 2u); // the cube and the full-screen fill
    EXPECT_EQ(mirel::g_engineState.primitives, 12u + 2u);

    ID3D11Resource* ldr = LdrMain()->texture;
    const uint32_t cx = g_renderer.outputWidth / 2, cy = g_renderer.outputHeight / 2;
    const Pixel centre = PixelAt(ldr, cx, cy), corner = PixelAt(ldr, 3, 3);
    EXPECT_NEAR(centre.r, 64, 2);
    EXPECT_NEAR(centre.g, 128, 2);
    EXPECT_NEAR(centre.b, 191, 2);
    EXPECT_EQ(corner.r + corner.g + corner.b, 0);
    // The fill covers the middle half of the back buffer; its clear the rest.
    const Pixel inside = PixelAt(CurrentDevice()->backBuffer, cx, cy);
    EXPECT_EQ(inside.r, 255);
    EXPECT_NEAR(inside.b, 128, 2);
    EXPECT_EQ(PixelAt(CurrentDevice()->backBuffer, 3, 3).r, 0);
    mirel::Backend().Present();

    // Moved out of the camera's frustum, the cube is culled.
    MoveCube(50);
    Frame();
    EXPECT_EQ(PixelAt(LdrMain()->texture, cx, cy).b, 0);
    MoveCube(0);
}

TEST_F(Dx11Backend, ResizeRebuildsTargetsSwapChainAndBorrowedViews)
{
    SetResolution(200, 150);
    mirel::Backend().RequestResize();
    ASSERT_EQ(mirel::g_resizePending.load(), 1);
    // As the loop does: the update step (or the frame) consumes the flag and asks for the rebuild.
    if (mirel::g_resizePending.exchange(0)) mirel::Backend().RebuildForResize();
    mirel::Backend().RecordViews();
    miSim::UpdateMatrices(*miSim::FindCamera("mainCamera"));
    mirel::Backend().ExecuteViews();

    ExpectOutputSize(200, 150);
    EXPECT_NEAR(PixelAt(LdrMain()->texture, 100, 75).b, 191, 2);
    EXPECT_EQ(PixelAt(LdrMain()->texture, 199, 149).b, 0);
    EXPECT_EQ(PixelAt(CurrentDevice()->backBuffer, 100, 75).r, 255);
    mirel::Backend().Present();
}

} // namespace
