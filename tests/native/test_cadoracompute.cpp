// The load controller as a compute context: its start-up set-up over fake device objects, the
// dispatch it records, the log, the settings it reads and the fps choices it builds.
#include "cadoracompute.h"
#include "demostate.h"
#include "detect.h"
#include "core/props.h"
#include "frametimer.h"
#include "mainloop.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace miCadora;
using namespace miRender;
namespace fs = std::filesystem;

namespace
{

struct Created
{
    std::string cbName;
    int32_t cbRegister = -1, cbBytes = 0;
    void* cbData = nullptr;
    std::string shaderName, shaderSource;
    std::string bufferName;
    std::vector<float> seed;
};
Created g_created;

int32_t FakeConstants(const char* name, int32_t reg, int32_t bytes, void* data)
{
    g_created.cbName = name;
    g_created.cbRegister = reg;
    g_created.cbBytes = bytes;
    g_created.cbData = data;
    return 4;
}
int32_t FakeCompile(const char* name, const char* source)
{
    g_created.shaderName = name;
    g_created.shaderSource = source;
    return 9;
}
int32_t FakeBuffer(const char* name, const float* seed, int32_t elements)
{
    g_created.bufferName = name;
    g_created.seed.assign(seed, seed + elements * 4);
    return 21;
}
const BusyDeviceOps g_fakeOps = {FakeConstants, FakeCompile, FakeBuffer};

std::vector<DispatchPayload> g_dispatches;
int g_shaderSets = 0, g_unbinds = 0;
void NoOp(const void*) {}
void OnDispatch(const void* p)
{
    DispatchPayload d;
    std::memcpy(&d, p, sizeof d);
    g_dispatches.push_back(d);
}
void OnShader(const void*)
{
    ++g_shaderSets;
}
int g_uavBinds = 0;
void OnUav(const void* p)
{
    ComputeUavPayload u;
    std::memcpy(&u, p, sizeof u);
    if (u.count == 7 && !u.uav) ++g_unbinds;
    if (u.count == 1 && u.slot == 0 && u.uav == &g_created) ++g_uavBinds;
}

// Knows what the busy-work operations made: shader 9, constant buffer 4, GPU resource 21 (a
// buffer that keeps its content).
void Fill(mirel::test::FakeDevice& d)
{
    d.shaders[9] = {&g_created, nullptr};
    d.pipeBuffers[4] = {&g_created, 1, 16, nullptr, 0};
    d.gpuResources[21] = {nullptr, &g_created};
    d.computeUavs[21] = {21, miCompute::kContentKept};
}

class Controller : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (auto& e : table_.exec)
            e = NoOp;
        table_.exec[kOpDispatch] = OnDispatch;
        table_.exec[kOpShader] = OnShader;
        table_.exec[kOpComputeUav] = OnUav;
        SetPipeExecutors(&table_);
        SetBusyDeviceOps(&g_fakeOps);
        Fill(device_);
        device_.Install();
        g_created = Created{};
        g_dispatches.clear();
        g_shaderSets = g_unbinds = 0;
        ResetLoadController();
        mirel::ClearProperties();
        mirel::ClearEngineState();
        miCompute::ClearComputeContexts();
        State().showStats = false;
        dir_ = fs::temp_directory_path() / ("mirel-ctl-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
        mirel::SetAssetRoot(MIREL_SOURCE_ASSETS);
    }
    void TearDown() override
    {
        ResetLoadController();
        mirel::ClearProperties();
        miCompute::ClearComputeContexts();
        SetBusyDeviceOps(nullptr);
        SetPipeExecutors(nullptr);
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    PipeExecutors table_{};
    mirel::test::FakeDevice device_;
    fs::path dir_, previous_;
};

TEST_F(Controller, ResetBuildsTheBusyWork)
{
    std::srand(7);
    std::vector<float> expected;
    for (int i = 0; i < 3; ++i)
        expected.push_back(static_cast<float>(std::rand() % 100000));
    std::srand(7);
    g_cadoraCompute.loopSize = 0;
    g_cadoraCompute.uavIds[3] = 5;
    // The shader is held in the program: an asset tree without it changes nothing.
    mirel::SetAssetRoot(dir_.c_str());
    mirel::test::ReportCapture reports;
    g_cadoraCompute.Reset();
    EXPECT_EQ(reports.Count(), 0) << reports.Last();

    EXPECT_EQ(g_created.cbName, "BusyConstBuffer");
    EXPECT_EQ(g_created.cbRegister, 1);
    EXPECT_EQ(g_created.cbBytes, 4);
    EXPECT_EQ(g_created.cbData, &g_cadoraCompute.loopSize);
    EXPECT_EQ(g_cadoraCompute.loopSize, 100);
    EXPECT_EQ(g_created.shaderName, "busy_mainCS");
    EXPECT_EQ(g_created.shaderSource, kBusyShaderSource);
    // What Wine's compiler refuses; what Windows refuses is test_shaderscan's.
    for (const char* refused : {"StructuredBuffer", "ByteAddressBuffer", "Interlocked", "GroupMemoryBarrier"})
        EXPECT_EQ(g_created.shaderSource.find(refused), std::string::npos) << refused;
    EXPECT_EQ(g_cadoraCompute.shaderId, 9);
    EXPECT_EQ(g_created.bufferName, "busy_buffer0");
    ASSERT_EQ(g_created.seed.size(), 400000u);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(g_created.seed[i * 4], expected[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(g_created.seed[i * 4 + 1] + g_created.seed[i * 4 + 2] + g_created.seed[i * 4 + 3], 0.0f);
    }
    EXPECT_EQ(g_cadoraCompute.uavIds[0], 21);
    EXPECT_EQ(g_cadoraCompute.uavIds[3], -1) << "the base fields are reset";
    EXPECT_EQ(g_cadoraCompute.constantBufferIds[1], 4);
    EXPECT_EQ(g_cadoraCompute.groupsX, 1.0f);
    EXPECT_EQ(g_cadoraCompute.groupsY, 0.0f);
    EXPECT_EQ(mirel::g_engineState.controllerGpuTiming.load(), 1);
    EXPECT_TRUE(mirel::g_engineState.GpuTimingRequested());
    EXPECT_FALSE(g_loadState.logThreads);
    EXPECT_EQ(g_loadState.log, nullptr);
    EXPECT_FALSE(fs::exists(dir_ / "cadoraLog.txt"));
}

TEST_F(Controller, LogOpensOnlyForAnExactTrueAndAppends)
{
    struct Case
    {
        const char* value;
        bool time;
        bool logs;
    };
    const Case cases[] = {
        {"true", false, true}, {"true", true, true}, {"True", false, false}, {"yes", true, false}};
    for (const Case& c : cases)
    {
        ResetLoadController();
        fs::remove(dir_ / "cadoraLog.txt");
        mirel::ClearProperties();
        mirel::RegisterProperty("debug.logThreads", mirel::kPropString);
        mirel::SetPropertyString("debug.logThreads", c.value);
        if (c.time)
        {
            mirel::RegisterProperty("debug.logTime", mirel::kPropString);
            mirel::SetPropertyString("debug.logTime", "no"); // any value turns the stamps on
        }
        std::ofstream(dir_ / "cadoraLog.txt") << "earlier run\n";
        g_cadoraCompute.Reset();
        EXPECT_EQ(g_loadState.logThreads, c.logs) << c.value;
        EXPECT_EQ(g_loadState.logTime, c.logs && c.time) << c.value;
        State().targetFps = 40.0f;
        mirel::g_frameTimer.delta = 0.020f;
        g_cadoraCompute.Execute();
        // Read while the log is still open: a killed program loses no finished line.
        std::ifstream in(dir_ / "cadoraLog.txt");
        std::string first, second;
        std::getline(in, first);
        std::getline(in, second);
        EXPECT_EQ(first, "earlier run") << "appended, not replaced";
        if (!c.logs)
        {
            EXPECT_TRUE(second.empty()) << second;
            continue;
        }
        const std::string line =
            "TargetMs: 25.000000, CurrentMs: 20.000000, ComputeThreads: 1, AddedThreads: 20";
        if (c.time)
        {
            ASSERT_GT(second.size(), line.size());
            EXPECT_EQ(second.front(), '[');
            EXPECT_EQ(second.substr(second.size() - line.size()), line);
        }
        else
            EXPECT_EQ(second, line);
    }
}

TEST_F(Controller, EachFrameStepsThenDispatchesWithinTheGroupLimit)
{
    g_cadoraCompute.Reset();
    miCompute::RegisterComputeContext(&g_cadoraCompute);
    struct Case
    {
        float fixed; // < 0: the control law runs
        std::vector<DispatchPayload> dispatched;
    };
    const Case cases[] = {
        {-1, {{201, 1, 1}}}, // 25 ms target, 5 ms frames: +200 from 1
        {0, {}},             // a fixed 0 dispatches nothing
        {65535, {{65535, 1, 1}}},
        {200000, {{65535, 3, 1}, {3395, 1, 1}}},
    };
    for (const Case& c : cases)
    {
        mirel::ClearProperties();
        if (c.fixed >= 0)
        {
            mirel::RegisterProperty("debug.fixedThreads", mirel::kPropFloat);
            mirel::SetPropertyFloat("debug.fixedThreads", c.fixed);
        }
        g_loadState.computeThreads = 1;
        State().targetFps = 40.0f;
        mirel::g_frameTimer.delta = 0.005f;
        g_dispatches.clear();
        g_shaderSets = g_unbinds = g_uavBinds = 0;
        mirel::test::ReportCapture reports;
        miCompute::RunComputeContexts();
        EXPECT_EQ(reports.Count(), 0) << reports.Last();
        ASSERT_EQ(g_dispatches.size(), c.dispatched.size()) << c.fixed;
        for (size_t i = 0; i < g_dispatches.size(); ++i)
        {
            EXPECT_EQ(g_dispatches[i].x, c.dispatched[i].x) << c.fixed;
            EXPECT_EQ(g_dispatches[i].y, c.dispatched[i].y) << c.fixed;
            EXPECT_EQ(g_dispatches[i].z, c.dispatched[i].z) << c.fixed;
        }
        EXPECT_EQ(g_cadoraCompute.groupsX, static_cast<float>(g_loadState.computeThreads));
        EXPECT_EQ(g_shaderSets, 1);
        EXPECT_EQ(g_unbinds, 1);
        EXPECT_EQ(g_uavBinds, 1) << "busy_buffer0 at u0 every frame";
    }
}

TEST_F(Controller, InputsComeFromTheTimerTheEngineAndTheMenu)
{
    mirel::g_frameTimer.delta = 0.031f;
    mirel::g_engineState.gpuFrameMs = 12.5f;
    mirel::g_engineState.gpuTimingBroken = 1;
    State().useGpuQuery = true;
    State().targetFps = 45.0f;
    State().sweepSwitch = 1.0f;
    State().sweepLowFps = 35.0f;
    State().sweepHighFps = 55.0f;
    State().sweepToSliderMax = true;
    State().fpsSliderMax = 90.0f;
    State().debugGui = true;
    State().showStats = true;
    const LoadInputs in = CurrentLoadInputs();
    EXPECT_EQ(in.frameTime, 0.031f);
    EXPECT_EQ(in.gpuFrameMs, 12.5f);
    EXPECT_TRUE(in.gpuTimingFault);
    EXPECT_TRUE(in.useGpuQuery);
    EXPECT_EQ(in.targetFps, 45.0f);
    EXPECT_EQ(in.sweepSwitch, 1.0f);
    EXPECT_EQ(in.sweepLowFps, 35.0f);
    EXPECT_EQ(in.sweepHighFps, 55.0f);
    EXPECT_TRUE(in.sweepToSliderMax);
    EXPECT_EQ(in.sliderMax, 90.0f);
    EXPECT_TRUE(in.debugGui);
    EXPECT_TRUE(in.showStats);
    State().showStats = false;
}

TEST_F(Controller, SettingsReadAtStart)
{
    ReadLoadSettings();
    EXPECT_EQ(State().variableFpsFreq, FLT_MAX) << "missing";
    EXPECT_FALSE(State().useGpuQuery);
    EXPECT_FALSE(State().debugGui);
    mirel::RegisterProperty("cadora.variable_fps_freq", mirel::kPropFloat);
    mirel::SetPropertyFloat("cadora.variable_fps_freq", 0.25f);
    mirel::RegisterProperty("cadora.useGPUQuery", mirel::kPropString);
    mirel::SetPropertyString("cadora.useGPUQuery", "true");
    mirel::RegisterProperty("debug.showDebugGui", mirel::kPropString);
    mirel::SetPropertyString("debug.showDebugGui", "true");
    ReadLoadSettings();
    EXPECT_EQ(State().variableFpsFreq, 0.25f);
    EXPECT_TRUE(State().useGpuQuery);
    EXPECT_TRUE(State().debugGui);
    mirel::SetPropertyString("cadora.useGPUQuery", "TRUE");
    ReadLoadSettings();
    EXPECT_FALSE(State().useGpuQuery);
}

TEST_F(Controller, UnattendedRunsPinTheRateOrTheSweep)
{
    struct Case
    {
        const char* fixedFps; // null: absent
        const char* sweep;
        float fps, sweepOn;
    };
    const Case cases[] = {
        {nullptr, nullptr, 45, 0}, {"40", nullptr, 40, 0},   {"52", nullptr, 52, 0},
        {"0", nullptr, 45, 0},     {"4000", nullptr, 45, 0}, // absurd rates are ignored
        {nullptr, "true", 45, 1},  {nullptr, "TRUE", 45, 0},
    };
    for (const Case& c : cases)
    {
        mirel::test::PinRate(c.fixedFps, c.sweep);
        ReadLoadSettings();
        // The menu stores its own slider values every frame; the pin still holds.
        State().targetFps = 45.0f;
        State().sweepSwitch = 0.0f;
        const LoadInputs in = CurrentLoadInputs();
        EXPECT_EQ(in.targetFps, c.fps) << (c.fixedFps ? c.fixedFps : "-");
        EXPECT_EQ(in.sweepSwitch, c.sweepOn) << (c.sweep ? c.sweep : "-");
    }
}

} // namespace
