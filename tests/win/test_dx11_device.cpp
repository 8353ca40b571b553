// The Direct3D 11 device layer on Wine's Direct3D: device and swap chain, resize, named render
// targets, DDS and PNG textures sampled, a model drawn through a recorded pipe and read back,
// GPU timing, the busy compute shader's scaling, failure paths and the pipe's replay cost.
#include "core/utils.h"
#include "render/device/dx11/dx11Device.h"
#include "support/readback.h"
#include "render/device/dx11/dx11Resources.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace miResources;
namespace fs = std::filesystem;

namespace
{

const char* kTexShader = R"(
Texture2D tex0 : register(t0);
SamplerState samp0 : register(s0);
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; };
struct VSOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };
VSOut mainVS(VSIn i) { VSOut o; o.pos = float4(i.pos, 1); o.uv = i.uv; return o; }
float4 mainPS(VSOut i) : SV_Target { return tex0.Sample(samp0, i.uv); }
)";

// The cube is drawn in the material's colour, scaled by the world matrix's first element.
const char* kSolidShader = R"(
cbuffer World : register(b3) { float4x4 world; };
cbuffer Mat : register(b4) { float4 colour; };
struct VSIn { float3 pos : POSITION; float3 n : NORMAL; float2 uv : TEXCOORD0; float3 t : TANGENT; float3 b : BINORMAL; };
float4 mainVS(VSIn i) : SV_Position { return float4(i.pos.xy * world._11, 0.5, 1); }
float4 mainPS(float4 p : SV_Position) : SV_Target { return colour; }
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

// A PNG with stored (uncompressed) deflate blocks: w x h pixels of one RGBA colour.
std::vector<uint8_t> SolidPng(uint32_t w, uint32_t h, const uint8_t rgba[4])
{
    static uint32_t table[256];
    for (uint32_t n = 0; n < 256; ++n)
    {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    auto crc = [&](const uint8_t* p, size_t n)
    {
        uint32_t c = 0xFFFFFFFFu;
        for (size_t i = 0; i < n; ++i)
            c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
        return c ^ 0xFFFFFFFFu;
    };
    auto be = [](std::vector<uint8_t>& v, uint32_t x)
    {
        for (int s = 24; s >= 0; s -= 8)
            v.push_back(static_cast<uint8_t>(x >> s));
    };
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < h; ++y)
    {
        raw.push_back(0);
        for (uint32_t x = 0; x < w; ++x)
            raw.insert(raw.end(), rgba, rgba + 4);
    }
    std::vector<uint8_t> z = {0x78,
                              0x01,
                              1,
                              static_cast<uint8_t>(raw.size()),
                              static_cast<uint8_t>(raw.size() >> 8),
                              static_cast<uint8_t>(~raw.size()),
                              static_cast<uint8_t>(~raw.size() >> 8)};
    z.insert(z.end(), raw.begin(), raw.end());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw)
        a = (a + c) % 65521, b = (b + a) % 65521;
    be(z, b << 16 | a);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data)
    {
        be(png, static_cast<uint32_t>(data.size()));
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        be(png, crc(body.data(), body.size()));
    };
    std::vector<uint8_t> ihdr;
    be(ihdr, w);
    be(ihdr, h);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", z);
    chunk("IEND", {});
    return png;
}

std::vector<uint8_t> SolidDds(uint32_t w, uint32_t h, const uint8_t rgba[4])
{
    std::vector<uint8_t> b(128, 0);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
    put(0, 0x20534444);
    put(4, 124);
    put(12, h);
    put(16, w);
    put(28, 1);
    put(76, 32);
    put(80, 0x41);
    put(88, 32);
    put(92, 0xFF);
    put(96, 0xFF00);
    put(100, 0xFF0000);
    put(104, 0xFF000000u);
    for (uint32_t i = 0; i < w * h; ++i)
        b.insert(b.end(), rgba, rgba + 4);
    return b;
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = _wfopen(p.wstring().c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

struct Pixel
{
    uint8_t r, g, b, a;
};

// Copies the back buffer into a staging texture and reads the pixel at (x, y).
Pixel ReadBackBuffer(PlatformDevice& d, uint32_t x, uint32_t y)
{
    Pixel p{};
    ReadPixelAt(d.device, d.context, d.backBuffer, x, y, &p);
    return p;
}

void WaitForGpu(PlatformDevice& d)
{
    D3D11_QUERY_DESC qd{D3D11_QUERY_EVENT, 0};
    ID3D11Query* q = nullptr;
    d.device->CreateQuery(&qd, &q);
    d.context->End(q);
    BOOL done = FALSE;
    while (d.context->GetData(q, &done, sizeof done, 0) != S_OK)
    {
    }
    q->Release();
}

double Seconds()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

class Dx11 : public ::testing::Test
{
  public:
    static void SetUpTestSuite()
    {
        mirel::SetAssertEcho(false);
        root = fs::temp_directory_path() / ("mirel-dx11-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(root / "textures");
        fs::create_directories(root / "models");
        fs::copy_file(fs::path(mirel::GetExecutableDirectory()) / "unitcube.model",
                      root / "models" / "unitcube.model");
        mirel::SetAssetRoot(root.generic_string().c_str());

        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MirelDx11Test";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"dx11", WS_OVERLAPPEDWINDOW, 0, 0, 1280, 720, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        ShowWindow(window, SW_SHOW);
        InstallDx11Resources();
        RenderSettings s;
        ListUsableAdapters(s);
        s.width = 1280;
        s.height = 720;
        device = new PlatformDevice;
        mirel::ResetAssertReports();
        device->Init(window, s);
        initReports = mirel::AssertReportCount();
        static float perFrame[16] = {}, cascades[68] = {};
        CreateConstantBuffer("perFrame", 0, 64, perFrame);
        CreateConstantBuffer("cascadedSM", 2, 272, cascades);
    }
    static void TearDownTestSuite()
    {
        ClearDx11Resources();
        delete device;
        DestroyWindow(window);
        std::error_code ec;
        fs::remove_all(root, ec);
        mirel::SetAssertEcho(true);
    }
    void SetUp() override { mirel::ResetAssertReports(); }
    static std::string Last()
    {
        char buf[1024];
        return mirel::LastAssertMessage(buf, sizeof buf);
    }

    // A configuration and one material drawing with it, made in code.
    static int32_t MakeMaterial(const char* name, const char* shader, const char* layout, float* constants)
    {
        PlatformMaterialCfg* cfg = static_cast<PlatformMaterialCfg*>(MaterialCfgs().Create(name));
        cfg->fillMode = 3;
        cfg->cullMode = 1;
        cfg->depthClip = 1;
        cfg->writeMask = 0xF;
        cfg->blendOp = cfg->blendOpAlpha = 1;
        cfg->srcBlend = cfg->srcBlendAlpha = 2;
        cfg->destBlend = cfg->destBlendAlpha = 1;
        cfg->depthFunc = 8;
        cfg->stageMask = 3;
        cfg->layout = FindVertexLayout(layout);
        cfg->topology = 4;
        cfg->samplers[0][0] = SamplerRecord{1, 0, 3, 3, 3, 1, 0.0f, 1000.0f};
        std::snprintf(cfg->shaderName, sizeof cfg->shaderName, "%s", name);
        cfg->source = static_cast<char*>(std::malloc(std::strlen(shader) + 1));
        std::strcpy(cfg->source, shader);
        cfg->Create();
        Material* m = MaterialManager().Create(name);
        m->configId = cfg->handle;
        if (constants)
        {
            char cbName[96];
            std::snprintf(cbName, sizeof cbName, "%s_matConst", name);
            m->constantBufferId = CreateConstantBuffer(cbName, 4, 16, constants);
        }
        return m->handle;
    }

    static inline fs::path root;
    static inline HWND window = nullptr;
    static inline PlatformDevice* device = nullptr;
    static inline int initReports = 0;
};

TEST_F(Dx11, DeviceAndSwapChainAndResize)
{
    EXPECT_EQ(initReports, 0) << Last();
    ASSERT_NE(device->device, nullptr);
    ASSERT_NE(device->swapChain, nullptr);
    EXPECT_EQ(CurrentDevice(), device);
    EXPECT_EQ(device->swapChainDesc.BufferCount, 1u);
    EXPECT_EQ(device->swapChainDesc.Windowed, TRUE);
    // Wine's single mode reads 0 Hz, so only consistency can be checked here.
    EXPECT_GE(device->settings.maxRefreshHz, 0);
    EXPECT_EQ(device->settings.usedRefreshHz, device->settings.maxRefreshHz);
    EXPECT_NE(device->settings.adapters[0].name[0], '\0');
    for (auto size : {std::pair<uint32_t, uint32_t>{1280, 720}, {800, 600}, {1280, 720}})
    {
        RenderSettings s = device->settings;
        s.width = size.first;
        s.height = size.second;
        device->Resize(s);
        DXGI_SWAP_CHAIN_DESC d{};
        device->swapChain->GetDesc(&d);
        EXPECT_EQ(d.BufferDesc.Width, size.first);
        EXPECT_EQ(d.BufferDesc.Height, size.second);
        ASSERT_NE(device->backBufferView, nullptr);
        ASSERT_NE(device->depthView, nullptr);
        D3D11_TEXTURE2D_DESC dd{};
        device->depthTexture->GetDesc(&dd);
        EXPECT_EQ(dd.Width, size.first);
    }
    EXPECT_EQ(mirel::AssertReportCount(), 0) << Last();
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
    ASSERT_NE(GpuResources().Find("hdrMain_depth"), nullptr);
    EXPECT_EQ(GpuResources().Find("hdrMain_depth")->srv, hdrRt->depthSrv);
    EXPECT_NE(GpuResources().Find("worldZ"), nullptr);
    const int32_t depthEntry = GpuResources().Find("hdrMain_depth")->handle;
    // Releasing the borrower leaves the owner's depth view alive.
    hdrRt->depthView->AddRef();
    const ULONG before = hdrRt->depthView->Release();
    zRt->OnRelease();
    hdrRt->depthView->AddRef();
    EXPECT_EQ(hdrRt->depthView->Release(), before);
    // Re-creation keeps the ids, and the depth entry names the new view.
    EXPECT_EQ(CreateRenderTarget("hdrMain", w, h, 28, true, -1, -1), hdr);
    EXPECT_EQ(GpuResources().Find("hdrMain_depth")->handle, depthEntry);
    EXPECT_EQ(GpuResources().Find("hdrMain_depth")->srv, RenderTargets().FromHandle(hdr)->depthSrv);
    EXPECT_EQ(mirel::AssertReportCount(), 0) << Last();

    CreateRenderTarget("badFormat", 64, 64, 2, false, -1, 1);
    EXPECT_NE(Last().find("Trying to use a render target format that isn't supported"), std::string::npos);
    EXPECT_EQ(RenderTargets().Find("badFormat")->texture, nullptr);
}

TEST_F(Dx11, TexturesFromDdsAndPngAreSampled)
{
    const uint8_t ddsColour[4] = {200, 40, 10, 255}, pngColour[4] = {20, 180, 90, 255};
    WriteFile(root / "textures" / "solid.dds", SolidDds(8, 8, ddsColour));
    WriteFile(root / "textures" / "solid.png", SolidPng(8, 8, pngColour));
    Model* quad = CreateFullscreenQuad();
    ASSERT_NE(quad, nullptr);
    const int32_t mat = MakeMaterial("texmat", kTexShader, "pt", nullptr);
    const int32_t target = CreateSwapChainTarget("swapChain");
    for (auto [file, colour] :
         {std::pair<const char*, const uint8_t*>{"solid.dds", ddsColour}, {"solid.png", pngColour}})
    {
        const int32_t tex = LoadTexture(file);
        ASSERT_GE(tex, 0);
        ASSERT_NE(Textures().FromHandle(tex)->srv, nullptr) << file << Last();
        EXPECT_EQ(Textures().FromHandle(tex)->width, 256u);
        MaterialManager().FromHandle(mat)->srvIds[0][0] = Textures().FromHandle(tex)->gpuResourceId;
        miRender::PlatformDevicePipe pipe;
        pipe.Begin(miRender::PlatformDevicePipe::kNoBuffer);
        const miRender::TargetClear clear{true, {0, 0, 0, 1}, false, 1.0f};
        pipe.SetRenderTargets(1, &target, &clear);
        pipe.DrawModel(quad->handle, nullptr, mat, -1, false, 1);
        pipe.Execute();
        const Pixel p = ReadBackBuffer(*device, device->settings.width / 2, device->settings.height / 2);
        EXPECT_NEAR(p.r, colour[0], 2) << file;
        EXPECT_NEAR(p.g, colour[1], 2) << file;
        EXPECT_NEAR(p.b, colour[2], 2) << file;
    }
    EXPECT_EQ(mirel::AssertReportCount(), 0) << Last();
}

TEST_F(Dx11, ModelDrawnThroughARecordedPipe)
{
    static float colour[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    MakeMaterial("unitcube", kSolidShader, "pnttb", colour);
    Model* cube = LoadModel("unitcube");
    ASSERT_NE(cube, nullptr) << Last();
    ASSERT_EQ(cube->surfaceCount, 1);
    EXPECT_EQ(cube->surfaces[0].materialId, MaterialManager().Find("unitcube")->handle);
    static float world[16] = {1.6f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const int32_t worldCb = CreateConstantBuffer("cube_entConst", 3, 64, world);
    miRender::Transform t{};
    std::memcpy(t.world, world, sizeof world);
    t.constantBufferId = worldCb;
    const int32_t target = CreateSwapChainTarget("swapChain");
    miRender::PlatformDevicePipe pipe;
    pipe.Begin(miRender::PlatformDevicePipe::kNoBuffer);
    const miRender::TargetClear clear{true, {0.1f, 0.2f, 0.3f, 1.0f}, true, 1.0f};
    pipe.SetRenderTargets(1, &target, &clear);
    pipe.DrawModel(cube->handle, &t, -1, -1, false, 1);
    pipe.Execute();
    const uint32_t w = device->settings.width, h = device->settings.height;
    const Pixel inside = ReadBackBuffer(*device, w / 2, h / 2);
    const Pixel edge = ReadBackBuffer(*device, w / 2 + static_cast<uint32_t>(w * 0.35f), h / 2);
    const Pixel outside = ReadBackBuffer(*device, 5, 5);
    EXPECT_NEAR(inside.r, 64, 2);
    EXPECT_NEAR(inside.g, 128, 2);
    EXPECT_NEAR(inside.b, 191, 2);
    // The cube spans 0.8 of the half-width: the world matrix reached the vertex shader.
    EXPECT_NEAR(edge.b, 191, 2);
    EXPECT_NEAR(outside.r, 26, 2);
    EXPECT_NEAR(outside.b, 77, 2);
    device->Present();
    EXPECT_EQ(mirel::AssertReportCount(), 0) << Last();
}

TEST_F(Dx11, BusyShaderScalesAndGpuTimeIsPlausible)
{
    PlatformStructuredBuffer* busy = StructuredBuffers().Create("busy_buffer0");
    busy->writable = 1;
    busy->numElems = 1024;
    busy->stride = 16;
    busy->initialContent = 1;
    busy->readable = 1;
    busy->typedFormat = DXGI_FORMAT_R32_FLOAT;
    busy->Create();
    ASSERT_NE(busy->uav, nullptr) << Last();
    const uint8_t* initial = static_cast<const uint8_t*>(busy->ReadBack());
    ASSERT_NE(initial, nullptr);
    bool allOnes = true;
    for (int i = 0; i < 1024 * 16; ++i)
        allOnes &= initial[i] == 0xFF;
    EXPECT_TRUE(allOnes);
    // All bits set is NaN as floats; start the arithmetic from zeros.
    std::vector<uint8_t> zeros(1024 * 16, 0);
    device->context->UpdateSubresource(busy->buffer, 0, nullptr, zeros.data(), 1024 * 16, 1024 * 16);

    PlatformShader* cs = Shaders().Create("busyCS");
    ASSERT_TRUE(CompileComputeShader(*cs, kBusyShader)) << Last();
    auto run = [&](uint32_t groups)
    {
        miRender::PlatformDevicePipe pipe;
        pipe.Begin(miRender::PlatformDevicePipe::kNoBuffer);
        pipe.SetComputeUAV(busy->gpuResourceId, 0);
        pipe.SetComputeShader(cs->handle);
        pipe.Dispatch(groups, 1, 1);
        pipe.UnbindComputeUAVs();
        double best = 1e9;
        for (int rep = 0; rep < 5; ++rep)
        {
            WaitForGpu(*device);
            const double start = Seconds();
            pipe.Execute();
            WaitForGpu(*device);
            best = std::min(best, Seconds() - start);
        }
        return best;
    };
    // Large enough that the work outweighs the wait for the device, which grows by several ms
    // when other tests share the cores.
    const uint32_t n = 1024;
    const double t1 = run(n), t4 = run(4 * n);
    std::printf("busy shader: %u groups %.2f ms, %u groups %.2f ms\n", n, t1 * 1e3, 4 * n, t4 * 1e3);
    EXPECT_GT(t4, 1.5 * t1);
    // The buffer was written to its last float: from 0, v = v * 1.0001 + 0.0001 many times.
    const float* v = static_cast<const float*>(busy->ReadBack());
    EXPECT_GT(v[0], 0.0f);
    EXPECT_GT(v[4095], 0.0f) << "the view covers every float of the buffer";

    // A frame of busy work between the ring's queries.
    GpuQueryRing& ring = device->queryRing;
    float ms = 0;
    for (int frame = 0; frame < 4; ++frame)
    {
        ring.BeginFrameQuery();
        run(n);
        ring.EndFrameQuery();
        ms = ring.ReadFrameQuery();
    }
    std::printf("GPU frame time read back: %.3f ms (frequency %.0f)\n", ms, ring.frequency);
    EXPECT_GT(ring.frequency, 0.0);
    EXPECT_GT(ms, 0.0f);
    EXPECT_LT(ms, 5000.0f);
    EXPECT_FALSE(GpuTimingBroken());
    EXPECT_EQ(mirel::AssertReportCount(), 0) << Last();
}

TEST_F(Dx11, FailuresAreReportedAndTheProgramGoesOn)
{
    struct Case
    {
        const char* message;
        void (*act)();
    } cases[] = {
        {"Error Loading texture: CreateWICTextureFromFile: ", [] { LoadTexture("missing.png"); }},
        {"Error Loading dds texture: CreateDDSTextureFromFile: ", [] { LoadTexture("missing.dds"); }},
        {"Shader compile error: broken_pixel",
         [] { CompileMaterialStage("broken_pixel", "float4 mainPS( : SV_Target", 0, -1); }},
        {"Resolve, can't find render target", [] { RenderTargets().Find("hdrMain")->Resolve("nowhere"); }},
    };
    for (const Case& c : cases)
    {
        mirel::ResetAssertReports();
        c.act();
        EXPECT_GE(mirel::AssertReportCount(), 1) << c.message;
        EXPECT_NE(Last().find(c.message), std::string::npos) << Last();
    }
    EXPECT_EQ(Textures().Find("missing.png")->srv, nullptr);
    EXPECT_EQ(Shaders().Find("broken_pixel")->shader, nullptr);
}

TEST_F(Dx11, ReplayCostAgainstStraightCalls)
{
    // Also when run on its own, without the drawing test that made the material first.
    static float colour[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    if (!MaterialManager().Find("unitcube")) MakeMaterial("unitcube", kSolidShader, "pnttb", colour);
    Model* cube = LoadModel("unitcube");
    ASSERT_NE(cube, nullptr);
    Material* mat = MaterialManager().Find("unitcube");
    ASSERT_NE(mat, nullptr);
    static float world[16] = {0.2f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const int32_t worldCb = CreateConstantBuffer("scene_entConst", 3, 64, world);
    miRender::Transform t{};
    std::memcpy(t.world, world, sizeof world);
    t.constantBufferId = worldCb;
    const int32_t target = CreateSwapChainTarget("swapChain");
    constexpr int kDraws = 30, kFrames = 300;
    miRender::PlatformDevicePipe pipe;
    pipe.Begin(miRender::PlatformDevicePipe::kNoBuffer);
    const miRender::TargetClear clear{true, {0, 0, 0, 1}, true, 1.0f};
    pipe.SetRenderTargets(1, &target, &clear);
    for (int i = 0; i < kDraws; ++i)
        pipe.DrawModel(cube->handle, &t, -1, -1, false, 1);

    // The same frame issued by hand: the calls a renderer without a pipe would make.
    auto* cfg = static_cast<PlatformMaterialCfg*>(MaterialCfgs().FromHandle(mat->configId));
    PlatformModel* pm = PlatformModels().manager.FromHandle(cube->handle);
    PlatformShader* vs = Shaders().FromHandle(cfg->shaderIds[1]);
    PlatformShader* ps = Shaders().FromHandle(cfg->shaderIds[0]);
    ID3D11Buffer* perFrame = ConstantBuffers().Find("perFrame")->buffer;
    ID3D11Buffer* worldBuffer = ConstantBuffers().FromHandle(worldCb)->buffer;
    PlatformConstantBuffer* matCb = ConstantBuffers().FromHandle(mat->constantBufferId);
    PlatformRenderTarget* rt = RenderTargets().FromHandle(target);
    ID3D11DeviceContext* c = device->context;
    auto upload = [&](ID3D11Buffer* b, const void* data, size_t n)
    {
        D3D11_MAPPED_SUBRESOURCE m{};
        if (SUCCEEDED(c->Map(b, 0, D3D11_MAP_WRITE_DISCARD, 0, &m)))
        {
            std::memcpy(m.pData, data, n);
            c->Unmap(b, 0);
        }
    };
    auto direct = [&]
    {
        D3D11_VIEWPORT vp{0, 0, static_cast<float>(rt->width), static_cast<float>(rt->height), 0, 1};
        c->RSSetViewports(1, &vp);
        c->OMSetRenderTargets(1, &rt->colorView, rt->depthView);
        const float black[4] = {0, 0, 0, 1};
        c->ClearRenderTargetView(rt->colorView, black);
        c->ClearDepthStencilView(rt->depthView, D3D11_CLEAR_DEPTH, 1.0f, 0);
        const float factor[4] = {};
        c->RSSetState(cfg->raster);
        c->OMSetBlendState(cfg->blend, factor, 0xFFFFFFFFu);
        c->OMSetDepthStencilState(cfg->depthState, 0);
        c->IASetInputLayout(vs->inputLayout);
        const UINT stride = 56, offset = 0;
        c->IASetVertexBuffers(0, 1, &pm->vertexBuffer, &stride, &offset);
        c->IASetIndexBuffer(pm->indexBuffers[0], DXGI_FORMAT_R32_UINT, 0);
        c->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        c->VSSetShader(static_cast<ID3D11VertexShader*>(vs->shader), nullptr, 0);
        c->PSSetShader(static_cast<ID3D11PixelShader*>(ps->shader), nullptr, 0);
        c->PSSetSamplers(0, 1, &cfg->samplerStates[0][0]);
        ID3D11ShaderResourceView* none[16] = {};
        for (int i = 0; i < kDraws; ++i)
        {
            c->PSSetShaderResources(0, 16, none);
            c->VSSetShaderResources(0, 16, none);
            upload(worldBuffer, world, 64);
            upload(matCb->buffer, matCb->data, 16);
            for (ID3D11Buffer* b : {perFrame, worldBuffer, matCb->buffer})
            {
                const UINT slot = b == perFrame ? 0 : b == worldBuffer ? 3 : 4;
                c->PSSetConstantBuffers(slot, 1, &b);
                c->VSSetConstantBuffers(slot, 1, &b);
            }
            c->DrawIndexed(36, 0, 0);
            c->PSSetShaderResources(0, 16, none);
            c->VSSetShaderResources(0, 16, none);
        }
    };
    auto measure = [&](auto&& frame)
    {
        double total = 0;
        for (int f = 0; f < kFrames; ++f)
        {
            const double start = Seconds();
            frame();
            total += Seconds() - start;
            if (f % 10 == 9) WaitForGpu(*device);
        }
        return total / kFrames;
    };
    measure(direct);
    measure([&] { pipe.Execute(); });
    double replay = 1e9, straight = 1e9;
    for (int round = 0; round < 5; ++round)
    {
        straight = std::min(straight, measure(direct));
        replay = std::min(replay, measure([&] { pipe.Execute(); }));
    }
    std::printf("pipe replay %.1f us/frame (%u records), straight calls %.1f us/frame, ratio %.3f\n",
                replay * 1e6, pipe.RecordCount(), straight * 1e6, replay / straight);
    EXPECT_GT(replay, 0.0);
    EXPECT_EQ(mirel::AssertReportCount(), 0) << Last();
}

} // namespace
