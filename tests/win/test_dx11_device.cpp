// The Direct3D 11 device layer on Wine's Direct3D: device and swap chain, resize, named render
// targets, a model with a DDS texture drawn through a recorded pipe and read back, a compute
// shader over a typed buffer view timed by the GPU query ring, and the failure paths.
#include "support/readback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <tuple>

using namespace miResources;
namespace fs = std::filesystem;

namespace
{

// The cube in the texture's colour times the material's, scaled by the world matrix's first element.
const char* kCubeShader = R"(
Texture2D tex0 : register(t0);
SamplerState samp0 : register(s0);
cbuffer World : register(b3) { float4x4 world; };
cbuffer Mat : register(b4) { float4 colour; };
struct VSIn { float3 pos : POSITION; float3 n : NORMAL; float2 uv : TEXCOORD0; float3 t : TANGENT; float3 b : BINORMAL; };
struct VSOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };
VSOut mainVS(VSIn i) { VSOut o; o.pos = float4(i.pos.xy * world._11, 0.5, 1); o.uv = i.uv; return o; }
float4 mainPS(VSOut i) : SV_Target { return tex0.Sample(samp0, i.uv) * colour; }
)";

// Over an R32_FLOAT view of 1024 16-byte elements, so 4096 floats (the one typed UAV load form
// Direct3D 11.0 has).
const char* kBusyShader = R"(
RWBuffer<float> busy : register(u0);
[numthreads(64, 1, 1)]
void mainCS(uint3 id : SV_DispatchThreadID)
{
    uint at = id.x % 4096;
    float v = busy[at];
    [loop] for (int i = 0; i < 512; ++i) v = v * 1.0001 + 0.0001;
    busy[at] = v;
}
)";

// An uncompressed 32-bit RGBA DDS of w x h pixels of one colour.
std::vector<uint8_t> SolidDds(uint32_t w, uint32_t h, const uint8_t rgba[4])
{
    std::vector<uint8_t> b(128, 0);
    const uint32_t header[][2] = {{0, 0x20534444}, {4, 124},     {12, h},         {16, w},
                                  {28, 1},         {76, 32},     {80, 0x41},      {88, 32},
                                  {92, 0xFF},      {96, 0xFF00}, {100, 0xFF0000}, {104, 0xFF000000u}};
    for (const auto& field : header)
        std::memcpy(b.data() + field[0], &field[1], 4);
    for (uint32_t i = 0; i < w * h; ++i)
        b.insert(b.end(), rgba, rgba + 4);
    return b;
}

class Dx11 : public DeviceSuite<1280, 720>
{
  public:
    static void SetUpTestSuite()
    {
        DeviceSuite::SetUpTestSuite();
        initReports = mirel::AssertReportCount();
        fs::create_directories(root / "textures");
        fs::create_directories(root / "models");
        fs::copy_file(fs::path(mirel::GetExecutableDirectory()) / "unitcube.model",
                      root / "models" / "unitcube.model");
        static float cascades[68] = {};
        CreateConstantBuffer("cascadedSM", 2, 272, cascades);
    }
    // One frame of a pipe: the swap chain cleared to clear, then what draw records.
    template <typename Draw> static void Frame(const float (&clear)[4], Draw&& draw)
    {
        const int32_t target = CreateSwapChainTarget("swapChain");
        miRender::PlatformDevicePipe pipe;
        pipe.Begin(miRender::PlatformDevicePipe::kNoBuffer);
        const miRender::TargetClear c{true, {clear[0], clear[1], clear[2], clear[3]}, true, 1.0f};
        pipe.SetRenderTargets(1, &target, &c);
        draw(pipe);
        pipe.Execute();
    }

    static inline int initReports = 0;
};

TEST_F(Dx11, DeviceAndSwapChainAndResize)
{
    EXPECT_EQ(initReports, 0) << LastReport();
    ASSERT_NE(device->swapChain, nullptr);
    EXPECT_EQ(CurrentDevice(), device);
    EXPECT_EQ(device->swapChainDesc.Windowed, TRUE);
    EXPECT_NE(device->settings.adapters[0].name[0], '\0');
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{800, 600}, {1280, 720}})
    {
        RenderSettings s = device->settings;
        s.width = w, s.height = h;
        device->Resize(s);
        ASSERT_TRUE(device->backBufferView && device->depthView);
        DXGI_SWAP_CHAIN_DESC d{};
        device->swapChain->GetDesc(&d);
        D3D11_TEXTURE2D_DESC dd{};
        device->depthTexture->GetDesc(&dd);
        EXPECT_EQ(std::make_tuple(d.BufferDesc.Width, d.BufferDesc.Height, dd.Width, dd.Height),
                  std::make_tuple(w, h, w, h));
    }
    EXPECT_EQ(mirel::AssertReportCount(), 0) << LastReport();
}

TEST_F(Dx11, NamedRenderTargetsAndBorrowedDepth)
{
    const uint32_t w = device->settings.width, h = device->settings.height;
    const int32_t hdr = CreateRenderTarget("hdrMain", w, h, 28, true, -1, -1);
    const int32_t worldZ = CreateRenderTarget("worldZ", w, h, 41, true, hdr, -1);
    const int32_t cascade = CreateRenderTarget("cascade0", 1024, 1024, 41, true, -1, 1);
    ASSERT_GE(hdr, 0);
    PlatformRenderTarget* hdrRt = RenderTargets().FromHandle(hdr);
    PlatformRenderTarget* zRt = RenderTargets().FromHandle(worldZ);
    ASSERT_NE(hdrRt->depthView, nullptr);
    EXPECT_EQ(zRt->depthView, hdrRt->depthView);
    EXPECT_EQ(zRt->depthTexture, nullptr);
    EXPECT_NE(RenderTargets().FromHandle(cascade)->depthSrv, nullptr);
    auto depthEntry = [] { return GpuResources().Find("hdrMain_depth"); };
    ASSERT_NE(depthEntry(), nullptr);
    EXPECT_EQ(depthEntry()->srv, hdrRt->depthSrv);
    EXPECT_NE(GpuResources().Find("worldZ"), nullptr);
    const int32_t depthId = depthEntry()->handle;
    // Releasing the borrower leaves the owner's depth view alive.
    hdrRt->depthView->AddRef();
    const ULONG before = hdrRt->depthView->Release();
    zRt->OnRelease();
    hdrRt->depthView->AddRef();
    EXPECT_EQ(hdrRt->depthView->Release(), before);
    // Re-creation keeps the ids, and the depth entry names the new view.
    EXPECT_EQ(CreateRenderTarget("hdrMain", w, h, 28, true, -1, -1), hdr);
    EXPECT_EQ(depthEntry()->handle, depthId);
    EXPECT_EQ(depthEntry()->srv, RenderTargets().FromHandle(hdr)->depthSrv);
    EXPECT_EQ(mirel::AssertReportCount(), 0) << LastReport();

    CreateRenderTarget("badFormat", 64, 64, 2, false, -1, 1);
    EXPECT_TRUE(LastReportHas("Trying to use a render target format that isn't supported"));
    EXPECT_EQ(RenderTargets().Find("badFormat")->texture, nullptr);
}

// PNG files go through the Windows Imaging Component, which the menu's sheets exercise.
TEST_F(Dx11, DdsTexturedModelDrawnThroughARecordedPipe)
{
    const uint8_t texel[4] = {200, 40, 120, 255};
    const std::vector<uint8_t> dds = SolidDds(8, 8, texel);
    std::ofstream(root / "textures" / "solid.dds", std::ios::binary)
        .write(reinterpret_cast<const char*>(dds.data()), static_cast<std::streamsize>(dds.size()));
    static float colour[4] = {0.5f, 1.0f, 1.0f, 1.0f};
    const int32_t mat = MakeMaterial("unitcube", kCubeShader, "pnttb", colour);
    const int32_t tex = LoadTexture("solid.dds");
    ASSERT_NE(Textures().FromHandle(tex)->srv, nullptr) << LastReport();
    MaterialManager().FromHandle(mat)->srvIds[0][0] = Textures().FromHandle(tex)->gpuResourceId;
    Model* cube = LoadModel("unitcube");
    ASSERT_NE(cube, nullptr) << LastReport();
    static float world[16] = {1.6f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    miRender::Transform t{};
    std::memcpy(t.world, world, sizeof world);
    t.constantBufferId = CreateConstantBuffer("cube_entConst", 3, 64, world);
    Frame({0.1f, 0.2f, 0.3f, 1.0f},
          [&](miRender::PlatformDevicePipe& p) { p.DrawModel(cube->handle, &t, -1, -1, false, 1); });
    const uint32_t w = device->settings.width, h = device->settings.height;
    const Pixel inside = PixelAt(device->backBuffer, w / 2, h / 2);
    const Pixel edge = PixelAt(device->backBuffer, w / 2 + static_cast<uint32_t>(w * 0.35f), h / 2);
    const Pixel outside = PixelAt(device->backBuffer, 5, 5);
    EXPECT_NEAR(inside.r, 100, 2);
    EXPECT_NEAR(inside.g, 40, 2);
    EXPECT_NEAR(inside.b, 120, 2);
    // The cube spans 0.8 of the half-width: the world matrix reached the vertex shader.
    EXPECT_NEAR(edge.b, 120, 2);
    EXPECT_NEAR(outside.r, 26, 2);
    EXPECT_NEAR(outside.b, 77, 2);
    device->Present();
    EXPECT_EQ(mirel::AssertReportCount(), 0) << LastReport();
}

TEST_F(Dx11, ComputeOverATypedViewTimedByTheQueryRing)
{
    PlatformStructuredBuffer* busy = StructuredBuffers().Create("busy_buffer0");
    busy->writable = busy->readable = busy->initialContent = 1;
    busy->numElems = 1024, busy->stride = 16;
    busy->typedFormat = DXGI_FORMAT_R32_FLOAT;
    busy->Create();
    ASSERT_NE(busy->uav, nullptr) << LastReport();
    const uint8_t* initial = static_cast<const uint8_t*>(busy->ReadBack());
    ASSERT_NE(initial, nullptr);
    EXPECT_EQ(std::count(initial, initial + 1024 * 16, uint8_t{0xFF}), 1024 * 16);
    // All bits set is NaN as floats; start the arithmetic from zeros.
    std::vector<uint8_t> zeros(1024 * 16, 0);
    device->context->UpdateSubresource(busy->buffer, 0, nullptr, zeros.data(), 1024 * 16, 1024 * 16);

    PlatformShader* cs = Shaders().Create("busyCS");
    ASSERT_TRUE(CompileComputeShader(*cs, kBusyShader)) << LastReport();
    miRender::PlatformDevicePipe pipe;
    pipe.Begin(miRender::PlatformDevicePipe::kNoBuffer);
    pipe.SetComputeUAV(busy->gpuResourceId, 0);
    pipe.SetComputeShader(cs->handle);
    pipe.Dispatch(1024, 1, 1);
    pipe.UnbindComputeUAVs();
    GpuQueryRing& ring = device->queryRing;
    float ms = 0;
    for (int frame = 0; frame < 4; ++frame)
    {
        ring.BeginFrameQuery();
        pipe.Execute();
        ring.EndFrameQuery();
        ms = ring.ReadFrameQuery();
    }
    std::printf("GPU frame time read back: %.3f ms (frequency %.0f)\n", ms, ring.frequency);
    EXPECT_GT(ring.frequency, 0.0);
    EXPECT_TRUE(ms > 0.0f && ms < 5000.0f) << ms;
    EXPECT_FALSE(GpuTimingBroken());
    const float* v = static_cast<const float*>(busy->ReadBack());
    EXPECT_TRUE(v[0] > 0.0f && v[4095] > 0.0f) << "the view covers every float of the buffer";
    EXPECT_EQ(mirel::AssertReportCount(), 0) << LastReport();
}

TEST_F(Dx11, FailuresAreReportedAndTheProgramGoesOn)
{
    const std::pair<const char*, void (*)()> cases[] = {
        {"Error Loading texture: CreateWICTextureFromFile: ", [] { LoadTexture("missing.png"); }},
        {"Error Loading dds texture: CreateDDSTextureFromFile: ", [] { LoadTexture("missing.dds"); }},
        {"Shader compile error: broken_pixel",
         [] { CompileMaterialStage("broken_pixel", "float4 mainPS( : SV_Target", 0, -1); }},
        {"Resolve, can't find render target", [] { RenderTargets().Find("hdrMain")->Resolve("nowhere"); }},
    };
    for (const auto& [message, act] : cases)
    {
        mirel::ResetAssertReports();
        act();
        EXPECT_TRUE(LastReportHas(message));
    }
    EXPECT_EQ(Textures().Find("missing.png")->srv, nullptr);
    EXPECT_EQ(Shaders().Find("broken_pixel")->shader, nullptr);
}

} // namespace
