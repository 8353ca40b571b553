// The load controller as a compute context: its start-up set-up over fake device objects, the
// dispatch it records, the log and the settings it reads.
#include "cadoracompute.h"
#include "demostate.h"
#include "core/props.h"
#include "frametimer.h"
#include "mainloop.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace miCadora;
using namespace miRender;
using mirel::test::g_replayed;
namespace fs = std::filesystem;

namespace
{

// What the busy-work operations were handed; they make constant buffer 4, shader 9 and GPU
// resource 21.
struct Created
{
    std::tuple<int32_t, int32_t, void*> cb{-1, 0, nullptr}; // register, size, data
    std::string shaderSource;
    std::vector<float> seed;
} g_created;

const BusyDeviceOps g_fakeOps = {[](const char*, int32_t reg, int32_t bytes, void* data) {
                                     return g_created.cb = {reg, bytes, data}, 4;
                                 },
                                 [](const char*, const char* source)
                                 { return g_created.shaderSource = source, 9; },
                                 [](const char*, const float* seed, int32_t elements)
                                 { return g_created.seed.assign(seed, seed + elements * 4), 21; }};

// The replayed shader, UAV and dispatch records; "busy" is the one object the fake device hands out.
std::string Frame()
{
    const auto name = [](const void* p) { return p == &g_created ? "busy" : p ? "other" : "none"; };
    std::string out;
    for (const mirel::test::Replayed& r : g_replayed)
    {
        char t[64] = "";
        const auto u = r.op == kOpComputeUav ? r.As<ComputeUavPayload>() : ComputeUavPayload{};
        const auto d = r.op == kOpDispatch ? r.As<DispatchPayload>() : DispatchPayload{};
        if (r.op == kOpShader) std::snprintf(t, sizeof t, "shader %s, ", name(r.As<ShaderPayload>().shader));
        if (r.op == kOpComputeUav) std::snprintf(t, sizeof t, "u%d+%d %s, ", u.slot, u.count, name(u.uav));
        if (r.op == kOpDispatch) std::snprintf(t, sizeof t, "dispatch %u %u %u, ", d.x, d.y, d.z);
        out += t;
    }
    return out;
}

struct Controller : ::testing::Test
{
    void SetUp() override
    {
        SetPipeExecutors(&mirel::test::g_loggingExecutors);
        SetBusyDeviceOps(&g_fakeOps);
        // A buffer that keeps its content, as the busy buffer is made.
        device_.shaders[9] = {&g_created, nullptr};
        device_.pipeBuffers[4] = {&g_created, 1, 16, nullptr, 0};
        device_.gpuResources[21] = {nullptr, &g_created};
        device_.computeUavs[21] = {21, miCompute::kContentKept};
        device_.Install();
        g_created = Created{};
        ResetLoadController();
        mirel::ClearProperties();
        mirel::ClearEngineState();
        miCompute::ClearComputeContexts();
        State().showStats = false;
        fs::create_directories(dir_);
        fs::current_path(dir_);
        mirel::SetAssetRoot(MIREL_SOURCE_ASSETS);
    }
    // Set-up resets the rest; the log closes before its folder goes.
    void TearDown() override
    {
        ResetLoadController();
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    mirel::test::FakeDevice device_;
    const fs::path previous_ = fs::current_path();
    const fs::path dir_ = fs::temp_directory_path() / ("mirel-ctl-" + std::to_string(getpid()));
};

TEST_F(Controller, ResetBuildsTheBusyWork)
{
    std::srand(7);
    const float first = static_cast<float>(std::rand() % 100000),
                second = static_cast<float>(std::rand() % 100000);
    std::srand(7);
    g_cadoraCompute.loopSize = 0;
    g_cadoraCompute.uavIds[3] = 5;
    // The shader is held in the program: an asset tree without it changes nothing.
    mirel::SetAssetRoot(dir_.c_str());
    mirel::test::ReportCapture reports;
    g_cadoraCompute.Reset();
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
    EXPECT_EQ(g_created.cb, std::make_tuple(1, 4, static_cast<void*>(&g_cadoraCompute.loopSize)));
    EXPECT_EQ(g_cadoraCompute.loopSize, 100);
    EXPECT_EQ(g_created.shaderSource, kBusyShaderSource);
    // What Wine's compiler refuses; what Windows refuses is test_shaderscan's.
    for (const char* refused : {"StructuredBuffer", "ByteAddressBuffer", "Interlocked", "GroupMemoryBarrier"})
        EXPECT_EQ(g_created.shaderSource.find(refused), std::string::npos) << refused;
    ASSERT_EQ(g_created.seed.size(), 400000u);
    EXPECT_EQ(std::make_tuple(g_created.seed[0], g_created.seed[4]), std::make_tuple(first, second));
    EXPECT_EQ(g_created.seed[1] + g_created.seed[2] + g_created.seed[3] + g_created.seed[7], 0.0f);
    // The base fields are reset: u3 is free again.
    EXPECT_EQ(std::make_tuple(g_cadoraCompute.shaderId, g_cadoraCompute.uavIds[0], g_cadoraCompute.uavIds[3],
                              g_cadoraCompute.constantBufferIds[1]),
              std::make_tuple(9, 21, -1, 4));
    EXPECT_TRUE(mirel::g_engineState.GpuTimingRequested());
    EXPECT_FALSE(fs::exists(dir_ / "cadoraLog.txt"));
}

TEST_F(Controller, LogOpensOnlyForAnExactTrueAndAppends)
{
    // debug.logThreads, whether debug.logTime is set (any value turns the stamps on), a log.
    const std::tuple<const char*, bool, bool> cases[] = {
        {"true", false, true}, {"true", true, true}, {"True", false, false}, {"yes", true, false}};
    for (const auto& [value, time, logs] : cases)
    {
        ResetLoadController();
        mirel::ClearProperties();
        mirel::SetPropertyString("debug.logThreads", value);
        if (time) mirel::SetPropertyString("debug.logTime", "no");
        std::ofstream(dir_ / "cadoraLog.txt") << "earlier run\n";
        g_cadoraCompute.Reset();
        EXPECT_EQ(g_loadState.log != nullptr, logs) << value;
        State().targetFps = 40.0f;
        mirel::g_frameTimer.delta = 0.020f;
        g_cadoraCompute.Execute();
        // Read while the log is still open: a killed program loses no finished line.
        std::ifstream in(dir_ / "cadoraLog.txt");
        std::string first, second;
        std::getline(std::getline(in, first), second);
        EXPECT_EQ(first, "earlier run") << "appended, not replaced";
        const std::string line =
            logs ? "TargetMs: 25.000000, CurrentMs: 20.000000, ComputeThreads: 1, AddedThreads: 20" : "";
        // A time stamp "[...]" leads the line when asked for.
        const size_t stamp = time && logs && second.size() > line.size() ? second.size() - line.size() : 0;
        EXPECT_EQ(second.substr(stamp), line) << value;
        EXPECT_EQ(stamp > 0 && second.front() == '[', time && logs) << second;
    }
}

TEST_F(Controller, EachFrameStepsThenDispatchesWithinTheGroupLimit)
{
    g_cadoraCompute.Reset();
    miCompute::RegisterComputeContext(&g_cadoraCompute);
    // A fixed count (NaN: the control law runs), the GPU time (> 0: that of a faulty timer is the
    // measurement), and the dispatches.
    const std::tuple<float, float, const char*> cases[] = {
        {NAN, 0, "dispatch 201 1 1, "}, // 25 ms target, 5 ms frames: +200 from 1
        {NAN, 48, "dispatch 4 1 1, "},  // halved to 24 ms: +3
        {0, 0, ""},                     // a fixed count replaces the law's, whole groups only
        {-4, 0, ""},
        {123.9f, 0, "dispatch 123 1 1, "},
        {65535, 0, "dispatch 65535 1 1, "},
        {65536, 0, "dispatch 65535 1 1, dispatch 1 1 1, "},
        {200000, 0, "dispatch 65535 3 1, dispatch 3395 1 1, "},
    };
    for (const auto& [fixed, gpuMs, dispatched] : cases)
    {
        mirel::ClearProperties();
        if (!std::isnan(fixed)) mirel::SetPropertyFloat("debug.fixedThreads", fixed);
        g_loadState.computeThreads = 1;
        State().targetFps = 40.0f;
        State().useGpuQuery = mirel::g_engineState.gpuTimingBroken = gpuMs > 0;
        mirel::g_engineState.gpuFrameMs = gpuMs;
        mirel::g_frameTimer.delta = 0.005f;
        g_replayed.clear();
        mirel::test::ReportCapture reports;
        miCompute::RunComputeContexts();
        EXPECT_EQ(reports.Count(), 0) << reports.Last();
        // busy_buffer0 at u0 every frame, and u0-u6 unbound after the dispatch.
        EXPECT_EQ(Frame(), std::string("u0+1 busy, shader busy, ") + dispatched + "u0+7 none, ") << fixed;
        EXPECT_EQ(g_cadoraCompute.groupsX, static_cast<float>(g_loadState.computeThreads));
    }
}

TEST_F(Controller, SettingsReadAtStartAndTheUnattendedRunsPins)
{
    const auto settings = []
    { return std::make_tuple(State().variableFpsFreq, State().useGpuQuery, State().debugGui); };
    ReadLoadSettings();
    EXPECT_EQ(settings(), std::make_tuple(FLT_MAX, false, false));
    mirel::SetPropertyFloat("cadora.variable_fps_freq", 0.25f);
    mirel::SetPropertyString("cadora.useGPUQuery", "true");
    mirel::SetPropertyString("debug.showDebugGui", "true");
    ReadLoadSettings();
    EXPECT_EQ(settings(), std::make_tuple(0.25f, true, true));
    // debug.fixedFps and debug.sweep (null: absent); absurd rates are ignored.
    const std::tuple<const char*, const char*, float, float> cases[] = {
        {nullptr, nullptr, 45, 0}, {"40", nullptr, 40, 0},   {"52", nullptr, 52, 0},   {"0", nullptr, 45, 0},
        {"4000", nullptr, 45, 0},  {nullptr, "true", 45, 1}, {nullptr, "TRUE", 45, 0},
    };
    for (const auto& [fixedFps, sweep, fps, sweepOn] : cases)
    {
        mirel::test::PinRate(fixedFps, sweep);
        ReadLoadSettings();
        // The menu stores its own slider values every frame; the pin still holds.
        State().targetFps = 45.0f;
        State().sweepSwitch = 0.0f;
        const LoadInputs in = CurrentLoadInputs();
        EXPECT_EQ(std::make_tuple(in.targetFps, in.sweepSwitch), std::make_tuple(fps, sweepOn))
            << (fixedFps ? fixedFps : "-") << " " << (sweep ? sweep : "-");
    }
}

} // namespace
