// The load controller on Wine's Direct3D: its start-up builds the busy shader it holds (no
// shader file in the asset tree) and the R32_FLOAT view of its buffer, each group works on its
// element's x, groups past the 65535-group limit of one dimension run, and the closed loop tracks
// its targets.
#include "cadoracompute.h"
#include "demostate.h"
#include "core/props.h"
#include "frametimer.h"
#include "mainloop.h"
#include "plotlog.h"
#include "support/readback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

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
        YieldProcessor();
    q->Release();
}

double Seconds()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

class BusyWork : public DeviceSuite<640, 360, false>
{
  public:
    static void TearDownTestSuite()
    {
        miCompute::ClearComputeContexts();
        miCadora::ResetLoadController();
        DeviceSuite::TearDownTestSuite();
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
};

TEST_F(BusyWork, StartUpBuildsTheShaderAndTheTypedBuffer)
{
    mirel::ClearProperties();
    std::srand(11);
    float seed[16 * 4];
    miCadora::FillBusySeed(seed, 16);
    std::srand(11);
    miCadora::g_cadoraCompute.Reset();
    EXPECT_EQ(mirel::AssertReportCount(), 0) << LastReport();
    EXPECT_GE(miCadora::g_cadoraCompute.shaderId, 0) << "the held shader compiled";
    PlatformStructuredBuffer* b = StructuredBuffers().Find("busy_buffer0");
    ASSERT_TRUE(b && b->uav);
    D3D11_UNORDERED_ACCESS_VIEW_DESC view{};
    b->uav->GetDesc(&view);
    EXPECT_EQ(std::make_tuple(view.Format, view.Buffer.NumElements, miCadora::g_cadoraCompute.uavIds[0]),
              std::make_tuple(DXGI_FORMAT_R32_FLOAT, 400000u, b->gpuResourceId))
        << "all 100000 16-byte elements as floats, the controller's view";
    ASSERT_NE(ConstantBuffers().Find("BusyConstBuffer"), nullptr);
    EXPECT_EQ(ConstantBuffers().Find("BusyConstBuffer")->registerSlot, 1);

    // Eight groups: the x of elements 0-7 runs away (v += v * v from a seed of 1 or more), their
    // y, z, w and the elements beyond stay as seeded.
    mirel::SetPropertyFloat("debug.fixedThreads", 8.0f);
    miCompute::ClearComputeContexts();
    miCadora::RegisterLoadController();
    miCompute::RunComputeContexts();
    D3D11_BUFFER_DESC sd{};
    b->buffer->GetDesc(&sd);
    sd.Usage = D3D11_USAGE_STAGING;
    sd.BindFlags = 0, sd.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ID3D11Buffer* staging = nullptr;
    ASSERT_EQ(device->device->CreateBuffer(&sd, nullptr, &staging), S_OK);
    device->context->CopyResource(staging, b->buffer);
    D3D11_MAPPED_SUBRESOURCE m{};
    ASSERT_EQ(device->context->Map(staging, 0, D3D11_MAP_READ, 0, &m), S_OK);
    const float* got = static_cast<const float*>(m.pData);
    for (int i = 0; i < 16 * 4; ++i)
        if (i % 4 == 0 && i / 4 < 8 && seed[i] >= 1.0f)
            EXPECT_TRUE(std::isinf(got[i])) << "float " << i << ": " << got[i];
        else
            EXPECT_EQ(got[i], seed[i]) << "float " << i;
    device->context->Unmap(staging, 0);
    staging->Release();
    miCompute::ClearComputeContexts();
    mirel::ClearProperties();

    // A second start-up finds the buffer there already, reports it and keeps the first one.
    miCadora::g_cadoraCompute.Reset();
    EXPECT_EQ(mirel::AssertReportCount(), 1);
    EXPECT_TRUE(LastReportHas("Trying to create an object that already exists: busy_buffer0"));
    EXPECT_EQ(std::make_pair(StructuredBuffers().Find("busy_buffer0"), miCadora::g_cadoraCompute.uavIds[0]),
              std::make_pair(b, b->gpuResourceId));
}

// That more groups cost more time is the closed loop's premise, judged below; this is the part it
// never reaches: past one row of 65535 groups the second row goes through the other dimension and
// must run too. Such a frame takes seconds on the software rasteriser, so one try each; the build
// machine's other jobs were seen to move such a frame by half, hence the wide margin.
TEST_F(BusyWork, GroupsPastOneRowRunToo)
{
    mirel::ClearProperties();
    miCompute::ClearComputeContexts();
    miCadora::RegisterLoadController();
    ASSERT_GE(miCadora::g_cadoraCompute.shaderId, 0) << "set up by the previous test";
    mirel::ResetAssertReports();
    // First use, compilation and residency out of the way at the loads the closed loop runs.
    for (int32_t groups : {1, 0, 64, 256})
        FrameSeconds(groups);
    const double oneRow = FrameSeconds(65535, 1), twoRows = FrameSeconds(2 * 65535, 1);
    std::printf("busy frame: 65535 groups %.0f ms, 131070 %.0f ms\n", oneRow * 1e3, twoRows * 1e3);
    EXPECT_GT(twoRows, 1.3 * oneRow) << "the second row was dropped";
    EXPECT_EQ(mirel::AssertReportCount(), 0) << LastReport();
}

// The whole loop on the device: each frame the timer ticks, the controller steps and dispatches,
// the frame is presented; the frame time it measures is this loop's. No scene: the busy work is
// all the frame costs beyond the present.
TEST_F(BusyWork, ClosedLoopTracksAFixedRateAndTheSweep)
{
    // On this project's 2-core build machines, with other builds running beside, the software
    // rasteriser's frame time jitters by several ms from frame to frame. Measured runs: fixed
    // 40 fps 10-30% of the frames within 1 ms, 55% within 5 ms, mean error -0.9 ms; the 45-60
    // sweep 14-21%, 69%, -0.3 ms. The 1 ms figure is printed, not judged; a broken law (wrong
    // sign, no steps, lost dispatches) pins the load at one end, far from a mean within 3 ms.
    for (const auto& [what, sweep, frames] : std::initializer_list<std::tuple<const char*, float, int>>{
             {"fixed40", 0.0f, 400}, {"sweep", 1.0f, 500}})
    {
        SCOPED_TRACE(what);
        mirel::ClearProperties();
        // The controller keeps the shader and buffer of the first test; a cold start of the law.
        const fs::path log = root / "cadoraLog.txt";
        miCadora::ResetLoadController();
        miCadora::g_loadState.logThreads = true;
        miCadora::g_loadState.log = std::fopen(log.string().c_str(), "w");
        ASSERT_NE(miCadora::g_loadState.log, nullptr);
        miCompute::ClearComputeContexts();
        miCadora::RegisterLoadController();
        miCadora::State().targetFps = 40.0f;
        miCadora::State().sweepSwitch = sweep;
        miCadora::State().sweepLowFps = 45.0f;
        miCadora::State().sweepHighFps = 60.0f;
        mirel::ResetAssertReports();
        mirel::g_frameTimer.Reset();
        for (int f = 0; f < frames; ++f)
        {
            mirel::g_frameTimer.ticked = 0;
            mirel::g_frameTimer.Tick();
            miCompute::RunComputeContexts();
            device->Present();
        }
        miCadora::CloseLoadLog();
        EXPECT_EQ(mirel::AssertReportCount(), 0) << LastReport();
        std::stringstream text;
        text << std::ifstream(log.string()).rdbuf();
        const std::vector<plotlog::Sample> samples = plotlog::ParseLog(text.str());
        ASSERT_EQ(samples.size(), static_cast<size_t>(frames));
        const plotlog::Tracking t = plotlog::Measure(samples, 3.0f, 5.0f),
                                close = plotlog::Measure(samples, 3.0f, 1.0f);
        double clock = 0, sumError = 0;
        int counted = 0;
        for (const plotlog::Sample& s : samples)
            if ((clock += s.currentMs / 1000.0) > 3.0) sumError += s.currentMs - s.targetMs, ++counted;
        const double meanError = counted ? sumError / counted : 1e9;
        std::printf("%s: %d frames after 3 s, %.1f%% within 1 ms, %.1f%% within 5 ms, mean error %.2f ms, %d "
                    "groups at the end\n",
                    what, t.frames, 100.0f * close.withinFraction, 100.0f * t.withinFraction, meanError,
                    samples.back().threads);
        EXPECT_GE(t.frames, 100);
        EXPECT_GE(t.withinFraction, 0.35f);
        EXPECT_LT(std::fabs(meanError), 3.0);
        // Kept for plotting (tools/plotlog) when asked for.
        if (const char* keep = std::getenv("MIREL_CONTROLLER_OUT"))
            fs::copy_file(log, fs::path(keep) / (std::string("cadoraLog-") + what + ".txt"),
                          fs::copy_options::overwrite_existing);
        fs::remove(log);
    }
}

} // namespace
