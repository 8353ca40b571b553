// The load controller on Wine's Direct3D: its start-up builds the shipped busy shader and the
// typed buffer, and a frame with more groups costs more GPU time, also past the 65535-group
// limit of one dimension.
#include "demo/cadoracompute.h"
#include "engine/core/props.h"
#include "engine/core/utils.h"
#include "engine/mainloop.h"
#include "engine/render/device/dx11/dx11Device.h"
#include "engine/render/device/dx11/dx11Resources.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace miResources;
namespace fs = std::filesystem;

namespace
{

void WaitForGpu(PlatformDevice& d)
{
    D3D11_QUERY_DESC qd{D3D11_QUERY_EVENT, 0};
    ID3D11Query* q = nullptr;
    if (FAILED(d.device->CreateQuery(&qd, &q))) return;
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

class BusyWork : public ::testing::Test
{
  public:
    static void SetUpTestSuite()
    {
        mirel::SetAssertEcho(false);
        root = fs::temp_directory_path() / ("mirel-busy-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(root / "shaders");
        fs::copy_file(fs::path(mirel::GetExecutableDirectory()) / "busy.hlsl", root / "shaders" / "busy.hlsl");
        mirel::SetAssetRoot(root.generic_string().c_str());
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MirelBusyTest";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"busy", WS_OVERLAPPEDWINDOW, 0, 0, 640, 360, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        InstallDx11Resources();
        RenderSettings s;
        ListUsableAdapters(s);
        s.width = 640;
        s.height = 360;
        device = new PlatformDevice;
        device->Init(window, s);
        static float perFrame[16] = {};
        CreateConstantBuffer("perFrame", 0, 64, perFrame);
    }
    static void TearDownTestSuite()
    {
        miCompute::ClearComputeContexts();
        miCadora::ResetLoadController();
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
    // Best of reps frames of the controller with the load pinned to groups.
    static double FrameSeconds(int32_t groups, int reps = 3)
    {
        mirel::SetPropertyFloat("debug.fixedThreads", static_cast<float>(groups));
        double best = 1e9;
        for (int rep = 0; rep < reps; ++rep)
        {
            WaitForGpu(*device);
            const double start = Seconds();
            miCompute::RunComputeContexts();
            WaitForGpu(*device);
            best = std::min(best, Seconds() - start);
        }
        return best;
    }

    static inline fs::path root;
    static inline HWND window = nullptr;
    static inline PlatformDevice* device = nullptr;
};

TEST_F(BusyWork, StartUpBuildsTheShaderAndTheTypedBuffer)
{
    mirel::ClearProperties();
    miCadora::g_cadoraCompute.Reset();
    EXPECT_EQ(mirel::AssertReportCount(), 0) << Last();
    EXPECT_GE(miCadora::g_cadoraCompute.shaderId, 0) << "busy.hlsl compiled";
    PlatformStructuredBuffer* b = StructuredBuffers().Find("busy_buffer0");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->numElems, 100000);
    EXPECT_EQ(b->stride, 16);
    EXPECT_EQ(b->typedFormat, static_cast<uint32_t>(DXGI_FORMAT_R32G32B32A32_FLOAT));
    EXPECT_NE(b->uav, nullptr);
    EXPECT_EQ(miCadora::g_cadoraCompute.uavIds[0], b->gpuResourceId);
    ASSERT_NE(ConstantBuffers().Find("BusyConstBuffer"), nullptr);
    EXPECT_EQ(ConstantBuffers().Find("BusyConstBuffer")->registerSlot, 1);

    // A second start-up finds the buffer there already, reports it and keeps the first one.
    miCadora::g_cadoraCompute.Reset();
    EXPECT_EQ(mirel::AssertReportCount(), 1);
    EXPECT_NE(Last().find("Trying to create an object that already exists: busy_buffer0"), std::string::npos)
        << Last();
    EXPECT_EQ(StructuredBuffers().Find("busy_buffer0"), b);
    EXPECT_EQ(miCadora::g_cadoraCompute.uavIds[0], b->gpuResourceId);
}

TEST_F(BusyWork, MoreGroupsCostMoreGpuTime)
{
    mirel::ClearProperties();
    mirel::RegisterProperty("debug.fixedThreads", mirel::kPropFloat);
    miCompute::ClearComputeContexts();
    miCadora::RegisterLoadController();
    ASSERT_GE(miCadora::g_cadoraCompute.shaderId, 0) << "set up by the previous test";
    mirel::ResetAssertReports();
    FrameSeconds(1); // first use: compilation and residency out of the way
    const double t0 = FrameSeconds(0), t1 = FrameSeconds(64), t4 = FrameSeconds(256);
    // One full row, then two: the second row goes through the other dimension and must run too.
    // A frame of 65535 groups takes seconds on the software rasteriser, so one try each; the
    // build machine's other jobs were seen to move such a frame by half, hence the wide margin.
    const double oneRow = FrameSeconds(65535, 1), twoRows = FrameSeconds(2 * 65535, 1);
    std::printf("busy frame: 0 groups %.2f ms, 64 %.2f ms, 256 %.2f ms, 65535 %.0f ms, 131070 %.0f ms\n", t0 * 1e3,
                t1 * 1e3, t4 * 1e3, oneRow * 1e3, twoRows * 1e3);
    EXPECT_GT(t4, 1.5 * t1);
    EXPECT_GT(t1, t0);
    EXPECT_GT(twoRows, 1.3 * oneRow) << "the second row was dropped";
    EXPECT_EQ(mirel::AssertReportCount(), 0) << Last();
}

} // namespace
