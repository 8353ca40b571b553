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
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace miCadora;
using namespace miRender;
namespace fs = std::filesystem;

namespace
{

struct Created
{
    int32_t cbRegister = -1, cbBytes = 0;
    void* cbData = nullptr;
    std::string shaderSource;
    std::vector<float> seed;
};
Created g_created;

// What the busy-work operations make: constant buffer 4, shader 9, GPU resource 21.
const BusyDeviceOps g_fakeOps = {[](const char*, int32_t reg, int32_t bytes, void* data)
                                 {
                                     g_created.cbRegister = reg;
                                     g_created.cbBytes = bytes;
                                     g_created.cbData = data;
                                     return 4;
                                 },
                                 [](const char*, const char* source)
                                 {
                                     g_created.shaderSource = source;
                                     return 9;
                                 },
                                 [](const char*, const float* seed, int32_t elements)
                                 {
                                     g_created.seed.assign(seed, seed + elements * 4);
                                     return 21;
                                 }};

void SetString(const char* name, const char* value)
{
    mirel::RegisterProperty(name, mirel::kPropString);
    mirel::SetPropertyString(name, value);
}

std::vector<DispatchPayload> g_dispatches;
int g_shaderSets = 0, g_unbinds = 0, g_uavBinds = 0;

class Controller : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (auto& e : table_.exec)
            e = [](const void*) {};
        table_.exec[kOpDispatch] = [](const void* p)
        {
            DispatchPayload d;
            std::memcpy(&d, p, sizeof d);
            g_dispatches.push_back(d);
        };
        table_.exec[kOpShader] = [](const void*) { ++g_shaderSets; };
        table_.exec[kOpComputeUav] = [](const void* p)
        {
            ComputeUavPayload u;
            std::memcpy(&u, p, sizeof u);
            g_unbinds += u.count == 7 && !u.uav;
            g_uavBinds += u.count == 1 && u.slot == 0 && u.uav == &g_created;
        };
        SetPipeExecutors(&table_);
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

    EXPECT_EQ(g_created.cbRegister, 1);
    EXPECT_EQ(g_created.cbBytes, 4);
    EXPECT_EQ(g_created.cbData, &g_cadoraCompute.loopSize);
    EXPECT_EQ(g_cadoraCompute.loopSize, 100);
    EXPECT_EQ(g_created.shaderSource, kBusyShaderSource);
    // What Wine's compiler refuses; what Windows refuses is test_shaderscan's.
    for (const char* refused : {"StructuredBuffer", "ByteAddressBuffer", "Interlocked", "GroupMemoryBarrier"})
        EXPECT_EQ(g_created.shaderSource.find(refused), std::string::npos) << refused;
    EXPECT_EQ(g_cadoraCompute.shaderId, 9);
    ASSERT_EQ(g_created.seed.size(), 400000u);
    EXPECT_EQ(g_created.seed[0], first);
    EXPECT_EQ(g_created.seed[4], second);
    EXPECT_EQ(g_created.seed[1] + g_created.seed[2] + g_created.seed[3] + g_created.seed[7], 0.0f);
    EXPECT_EQ(g_cadoraCompute.uavIds[0], 21);
    EXPECT_EQ(g_cadoraCompute.uavIds[3], -1) << "the base fields are reset";
    EXPECT_EQ(g_cadoraCompute.constantBufferIds[1], 4);
    EXPECT_TRUE(mirel::g_engineState.GpuTimingRequested());
    EXPECT_FALSE(fs::exists(dir_ / "cadoraLog.txt"));
}

TEST_F(Controller, LogOpensOnlyForAnExactTrueAndAppends)
{
    const struct
    {
        const char* value;
        bool time, logs;
    } cases[] = {{"true", false, true}, {"true", true, true}, {"True", false, false}, {"yes", true, false}};
    for (const auto& c : cases)
    {
        ResetLoadController();
        mirel::ClearProperties();
        SetString("debug.logThreads", c.value);
        if (c.time) SetString("debug.logTime", "no"); // any value turns the stamps on
        std::ofstream(dir_ / "cadoraLog.txt") << "earlier run\n";
        g_cadoraCompute.Reset();
        EXPECT_EQ(g_loadState.log != nullptr, c.logs) << c.value;
        State().targetFps = 40.0f;
        mirel::g_frameTimer.delta = 0.020f;
        g_cadoraCompute.Execute();
        // Read while the log is still open: a killed program loses no finished line.
        std::ifstream in(dir_ / "cadoraLog.txt");
        std::string first, second;
        std::getline(in, first);
        std::getline(in, second);
        EXPECT_EQ(first, "earlier run") << "appended, not replaced";
        const std::string line =
            c.logs ? "TargetMs: 25.000000, CurrentMs: 20.000000, ComputeThreads: 1, AddedThreads: 20" : "";
        if (!c.time || !c.logs)
        {
            EXPECT_EQ(second, line) << c.value;
            continue;
        }
        ASSERT_GT(second.size(), line.size());
        EXPECT_EQ(second.front(), '[');
        EXPECT_EQ(second.substr(second.size() - line.size()), line);
    }
}

TEST_F(Controller, EachFrameStepsThenDispatchesWithinTheGroupLimit)
{
    g_cadoraCompute.Reset();
    miCompute::RegisterComputeContext(&g_cadoraCompute);
    const struct
    {
        float fixed; // NaN: the control law runs
        float gpuMs; // > 0: the GPU time of a faulty timer is the measurement
        std::vector<DispatchPayload> dispatched;
    } cases[] = {
        {NAN, 0, {{201, 1, 1}}}, // 25 ms target, 5 ms frames: +200 from 1
        {NAN, 48, {{4, 1, 1}}},  // halved to 24 ms: +3
        {0, 0, {}},              // a fixed count replaces the law's, whole groups only
        {-4, 0, {}},
        {123.9f, 0, {{123, 1, 1}}},
        {65535, 0, {{65535, 1, 1}}},
        {65536, 0, {{65535, 1, 1}, {1, 1, 1}}},
        {200000, 0, {{65535, 3, 1}, {3395, 1, 1}}},
    };
    for (const auto& c : cases)
    {
        mirel::ClearProperties();
        if (!std::isnan(c.fixed))
        {
            mirel::RegisterProperty("debug.fixedThreads", mirel::kPropFloat);
            mirel::SetPropertyFloat("debug.fixedThreads", c.fixed);
        }
        g_loadState.computeThreads = 1;
        State().targetFps = 40.0f;
        State().useGpuQuery = c.gpuMs > 0;
        mirel::g_engineState.gpuFrameMs = c.gpuMs;
        mirel::g_engineState.gpuTimingBroken = c.gpuMs > 0;
        mirel::g_frameTimer.delta = 0.005f;
        g_dispatches.clear();
        g_shaderSets = g_unbinds = g_uavBinds = 0;
        mirel::test::ReportCapture reports;
        miCompute::RunComputeContexts();
        EXPECT_EQ(reports.Count(), 0) << reports.Last();
        ASSERT_EQ(g_dispatches.size(), c.dispatched.size()) << c.fixed;
        for (size_t i = 0; i < g_dispatches.size(); ++i)
            EXPECT_TRUE(g_dispatches[i].x == c.dispatched[i].x && g_dispatches[i].y == c.dispatched[i].y &&
                        g_dispatches[i].z == c.dispatched[i].z)
                << c.fixed << " dispatch " << i;
        EXPECT_EQ(g_cadoraCompute.groupsX, static_cast<float>(g_loadState.computeThreads));
        EXPECT_EQ(g_shaderSets, 1);
        EXPECT_EQ(g_unbinds, 1);
        EXPECT_EQ(g_uavBinds, 1) << "busy_buffer0 at u0 every frame";
    }
}

TEST_F(Controller, SettingsReadAtStart)
{
    ReadLoadSettings();
    EXPECT_EQ(State().variableFpsFreq, FLT_MAX) << "missing";
    EXPECT_FALSE(State().useGpuQuery || State().debugGui);
    mirel::RegisterProperty("cadora.variable_fps_freq", mirel::kPropFloat);
    mirel::SetPropertyFloat("cadora.variable_fps_freq", 0.25f);
    SetString("cadora.useGPUQuery", "true");
    SetString("debug.showDebugGui", "true");
    ReadLoadSettings();
    EXPECT_EQ(State().variableFpsFreq, 0.25f);
    EXPECT_TRUE(State().useGpuQuery && State().debugGui);
    mirel::SetPropertyString("cadora.useGPUQuery", "TRUE");
    ReadLoadSettings();
    EXPECT_FALSE(State().useGpuQuery);
}

TEST_F(Controller, UnattendedRunsPinTheRateOrTheSweep)
{
    const struct
    {
        const char* fixedFps; // null: absent
        const char* sweep;
        float fps, sweepOn;
    } cases[] = {
        {nullptr, nullptr, 45, 0}, {"40", nullptr, 40, 0},   {"52", nullptr, 52, 0},
        {"0", nullptr, 45, 0},     {"4000", nullptr, 45, 0}, // absurd rates are ignored
        {nullptr, "true", 45, 1},  {nullptr, "TRUE", 45, 0},
    };
    for (const auto& c : cases)
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
