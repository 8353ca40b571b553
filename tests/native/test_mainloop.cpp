// The main loop driven by a scripted application, modules and backend.
#include "cadora.h"
#include "core/props.h"
#include "scene/siment.h"
#include "frametimer.h"
#include "input/input.h"
#include "mainloop.h"
#include "render/device/devicelost.h"
#include "scene/camera.h"
#include "support/material_fixture.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

using mirel::kLoopLoading;
using mirel::kLoopPipelined;
using mirel::kLoopWarmUp;
using mirel::LoopMode;

struct CallLog
{
    std::mutex m;
    std::vector<std::string> calls;
    void Add(const std::string& s)
    {
        std::lock_guard<std::mutex> lock(m);
        calls.push_back(s);
    }
};

CallLog g_log;

class ScriptedModule : public miSim::Module
{
  public:
    ScriptedModule(const char* name, int32_t init, int32_t update) : Module(init, update), name_(name) {}
    void Init() override { g_log.Add("init:" + name_); }
    void Shutdown() override { g_log.Add("shutdown:" + name_); }
    void Update() override { g_log.Add("update:" + name_); }
    const std::string name_;
};

// The engine's five modules, with their ranks, in registration order.
ScriptedModule g_world("World", 4, 2), g_physics("Physics", 2, 1), g_camera("Camera", 3, 3),
    g_utils("Utils", 0, 4), g_input("Input", 1, 0);
miSim::Module* const kModules[] = {&g_world, &g_physics, &g_camera, &g_utils, &g_input};

// Tracks the hand-over: which step is being updated, recorded, executed and presented.
struct Handover
{
    std::atomic<bool> stepRunning{false};
    std::atomic<int64_t> stepsStarted{0}, recorded{0}, executed{0}, updatesOffMainThread{0};
    std::atomic<int64_t> executeBeforeRecord{0}, executeDuringStep{0}, overlappedPresents[3] = {};
    // Rebuilds replace the targets; a recording made before one must not be executed after it.
    std::atomic<int64_t> targetGeneration{0}, recordedGeneration{0}, staleExecutes{0};
    std::atomic<int64_t> rebuildsOffMainThread{0}, rebuildsDuringStep{0};
    std::thread::id mainThread;
};

Handover* g_handover = nullptr;

class ScriptedApp : public mirel::MirelApp
{
  public:
    void Init() override { g_log.Add("app:Init"); }
    void Load() override { g_log.Add("app:Load"); }
    void Shutdown() override { g_log.Add("app:Shutdown"); }
    void Update() override
    {
        g_handover->stepRunning.store(true);
        g_handover->stepsStarted.fetch_add(1);
        if (std::this_thread::get_id() != g_handover->mainThread)
            g_handover->updatesOffMainThread.fetch_add(1);
        if (++updates == loadingDoneAfter) mirel::g_engineState.loadingDone.store(1);
        if (stepSleepUs) std::this_thread::sleep_for(std::chrono::microseconds(stepSleepUs));
        g_log.Add("app:Update");
    }
    int updates = 0;
    int loadingDoneAfter = -1;
    std::atomic<int> stepSleepUs{0};
};

class ScriptedBackend : public mirel::FrameBackend
{
  public:
    void InitRenderDevice(void*) override { g_log.Add("backend:InitRenderDevice"); }
    void SetUpRenderer() override { g_log.Add("backend:SetUpRenderer"); }
    void ResetComputeContexts() override { g_log.Add("backend:ResetComputeContexts"); }
    void RunComputeContexts() override { ++computeRuns; }
    void RebuildForResize() override
    {
        Handover& h = *g_handover;
        if (std::this_thread::get_id() != h.mainThread) h.rebuildsOffMainThread.fetch_add(1);
        if (h.stepRunning.load()) h.rebuildsDuringStep.fetch_add(1);
        h.targetGeneration.fetch_add(1);
        ++rebuilds;
    }
    void RecordViews() override
    {
        g_handover->recordedGeneration.store(g_handover->targetGeneration.load());
        g_handover->recorded.fetch_add(1);
        g_handover->stepRunning.store(false);
    }
    void ExecuteViews() override
    {
        Handover& h = *g_handover;
        if (h.stepRunning.load()) h.executeDuringStep.fetch_add(1);
        if (h.recorded.load() <= h.executed.load()) h.executeBeforeRecord.fetch_add(1);
        if (h.recordedGeneration.load() != h.targetGeneration.load()) h.staleExecutes.fetch_add(1);
        h.executed.store(h.recorded.load());
    }
    void Present() override
    {
        // A present blocks the message thread, as a real one waits for the display. The next
        // step overlaps it when that step has started (it may even have finished) by the end of
        // the present. Wait for the start, bounded, instead of trusting a busy machine's scheduler.
        Handover& h = *g_handover;
        auto nextStepStarted = [&h] { return h.stepsStarted.load() > h.executed.load(); };
        bool overlapped = nextStepStarted();
        const LoopMode mode = mirel::CurrentLoopMode();
        if (presentUs && mode != kLoopLoading && misses < 20)
        {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
            while (!overlapped && std::chrono::steady_clock::now() < until)
            {
                std::this_thread::sleep_for(std::chrono::microseconds(presentUs));
                overlapped = nextStepStarted();
            }
            if (!overlapped) ++misses;
        }
        if (overlapped) h.overlappedPresents[mode].fetch_add(1);
        ++presents;
    }
    uint32_t DeviceLostResult() override
    {
        return presents > lostAfter ? miResources::kDxgiErrorDeviceReset : 0;
    }
    void ShutdownRenderer() override { g_log.Add("backend:ShutdownRenderer"); }
    void ClearObjectManagers() override { g_log.Add("backend:ClearObjectManagers"); }
    bool GpuQueryEnabled() override { return gpuQueries; }
    bool HasDevice() override { return true; }
    void BeginGpuFrameQuery() override { ++queriesBegun; }
    void EndGpuFrameQuery() override
    {
        if (breakTimerOnFirstQuery) mirel::g_engineState.gpuTimingBroken.store(1);
    }
    float GpuFrameResultMs() override { return 7.5f; }
    void RecreateGpuQueryRing() override { ++ringRecreations; }

    int computeRuns = 0, rebuilds = 0, queriesBegun = 0, ringRecreations = 0;
    int presentUs = 0, presents = 0, lostAfter = 1 << 30;
    int misses = 0; // presents that waited in vain; a few are enough to tell, so stop waiting
    bool gpuQueries = false, breakTimerOnFirstQuery = false;
};

class MainLoopTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        {
            std::lock_guard<std::mutex> lock(g_log.m);
            g_log.calls.clear();
        }
        handover_.mainThread = std::this_thread::get_id();
        g_handover = &handover_;
        mirel::ClearProperties();
        mirel::ClearEngineState();
        mirel::g_resizePending.store(0);
        miInput::g_inputModule.Init(); // empties the key table the console key goes into
        mirel::SetFrameBackend(&backend_);
        mirel::SetEngineModules(kModules, 5);
        mirel::RegisterApp(&app_);
    }
    void TearDown() override
    {
        mirel::Shutdown();
        mirel::SetFrameBackend(nullptr);
        mirel::RegisterApp(nullptr);
        g_handover = nullptr;
    }
    void RunPasses(int n)
    {
        for (int i = 0; i < n; ++i)
            mirel::RunLoopPass();
    }
    // Passes until the loop has presented n frames in Pipelined mode.
    void RunPipelinedFrames(uint64_t n)
    {
        for (int guard = 0; mirel::FramesInMode(kLoopPipelined) < n && guard < 10000000; ++guard)
            mirel::RunLoopPass();
    }

    Handover handover_;
    ScriptedApp app_;
    ScriptedBackend backend_;
};

TEST_F(MainLoopTest, StartUpAndShutDownCallEveryoneInOrder)
{
    const int32_t keysBefore = miInput::RegisteredKeyCount();
    mirel::Start(nullptr);
    EXPECT_EQ(miInput::RegisteredKeyCount(), keysBefore + 1) << "the console key";
    RunPasses(1);
    mirel::Shutdown();

    const std::vector<std::string> expected = {
        "app:Init", "backend:InitRenderDevice", "init:Utils", "init:Input", "init:Physics", "init:Camera",
        "init:World", "app:Load", "backend:SetUpRenderer", "backend:ResetComputeContexts",
        // one Loading pass: the application first, then the modules by update rank
        "app:Update", "update:Input", "update:Physics", "update:World", "update:Camera", "update:Utils",
        "shutdown:World", "shutdown:Camera", "shutdown:Physics", "shutdown:Input", "shutdown:Utils",
        "backend:ShutdownRenderer", "app:Shutdown", "backend:ClearObjectManagers"};
    std::lock_guard<std::mutex> lock(g_log.m);
    EXPECT_EQ(g_log.calls, expected);
}

TEST_F(MainLoopTest, LoadingUntilDoneThenExactlyFourWarmUpFramesThenPipelined)
{
    app_.loadingDoneAfter = 3;
    mirel::Start(nullptr);
    RunPasses(2);
    EXPECT_EQ(mirel::CurrentLoopMode(), kLoopLoading);
    EXPECT_EQ(handover_.updatesOffMainThread.load(), 0) << "loading steps run on the message thread";
    EXPECT_EQ(backend_.computeRuns, 0) << "compute contexts run only once loading is over";
    RunPasses(1);
    EXPECT_EQ(mirel::CurrentLoopMode(), kLoopWarmUp);
    RunPasses(4);
    EXPECT_EQ(mirel::FramesInMode(kLoopWarmUp), 4u);
    EXPECT_EQ(mirel::CurrentLoopMode(), kLoopWarmUp);
    // The fifth pass presents nothing but hands over to Pipelined and starts the next step.
    RunPasses(1);
    EXPECT_EQ(mirel::CurrentLoopMode(), kLoopPipelined);
    EXPECT_EQ(mirel::FramesInMode(kLoopWarmUp), 4u);
    EXPECT_EQ(mirel::g_engineState.frameCounter.load(), 7u);
    RunPasses(10);
    EXPECT_EQ(mirel::FramesInMode(kLoopLoading), 3u);
    EXPECT_EQ(mirel::FramesInMode(kLoopPipelined), 10u);
    EXPECT_GT(handover_.updatesOffMainThread.load(), 0) << "after loading the update thread runs the steps";
    EXPECT_EQ(backend_.computeRuns, 14);
}

TEST_F(MainLoopTest, BrokenTimerDuringWarmUpGrowsTheQueryRingAndEndsWarmUp)
{
    app_.loadingDoneAfter = 1;
    backend_.gpuQueries = true;
    backend_.breakTimerOnFirstQuery = true;
    mirel::g_engineState.overlayGpuTiming.store(1);
    mirel::Start(nullptr);
    RunPasses(1 + 1);
    EXPECT_EQ(backend_.queriesBegun, 1);
    EXPECT_EQ(backend_.ringRecreations, 1);
    EXPECT_FLOAT_EQ(mirel::GetPropertyFloat("debug.gpuQueryRingBufferSize", -1.0f), 8.0f);
    EXPECT_FLOAT_EQ(mirel::g_engineState.gpuFrameMs.load(), 7.5f);
    RunPasses(1);
    EXPECT_EQ(mirel::CurrentLoopMode(), kLoopPipelined);
    EXPECT_EQ(mirel::FramesInMode(kLoopWarmUp), 1u);
}

TEST_F(MainLoopTest, TimerAlreadyBrokenSkipsWarmUpFrames)
{
    app_.loadingDoneAfter = 1;
    backend_.gpuQueries = true;
    mirel::g_engineState.gpuTimingBroken.store(1);
    mirel::Start(nullptr);
    RunPasses(2);
    EXPECT_EQ(mirel::CurrentLoopMode(), kLoopPipelined);
    EXPECT_EQ(mirel::FramesInMode(kLoopWarmUp), 0u);
    EXPECT_EQ(backend_.ringRecreations, 0) << "recovery acts only when the timer breaks during warm-up";
}

// Pipelined: step N+1 overlaps the present of frame N; a recording is executed only after its
// step finished, and never while a step runs (many frames, so a sanitizer sees the hand-over).
// Resized while loading or pipelined: each request rebuilds once, on the message thread, while no
// step runs, and every executed recording names the targets of its own frame.
TEST_F(MainLoopTest, PipelinedHandOverOverlapsPresentsAndResizesRebuildBetweenFramesOnly)
{
    app_.loadingDoneAfter = 2;
    backend_.presentUs = 50;
    mirel::Start(nullptr);
    RunPasses(1);
    mirel::Backend().RequestResize();
    RunPasses(1);
    EXPECT_EQ(backend_.rebuilds, 1) << "by the loading pass";
    RunPipelinedFrames(10000);
    EXPECT_EQ(handover_.overlappedPresents[kLoopLoading].load(), 0);
    EXPECT_EQ(handover_.overlappedPresents[kLoopWarmUp].load(), 0);
    EXPECT_GE(handover_.overlappedPresents[kLoopPipelined].load(), 9990);
    EXPECT_GE(handover_.stepsStarted.load(), 10000); // the update thread may still be in a step
    constexpr int kRequests = 300;
    for (int i = 0; i < kRequests; ++i)
    {
        mirel::Backend().RequestResize();
        RunPasses(1 + i % 3);
    }
    mirel::Shutdown();

    EXPECT_EQ(backend_.rebuilds, kRequests + 1);
    EXPECT_EQ(handover_.rebuildsOffMainThread.load(), 0);
    EXPECT_EQ(handover_.rebuildsDuringStep.load(), 0);
    EXPECT_EQ(handover_.staleExecutes.load(), 0);
    EXPECT_EQ(handover_.executeBeforeRecord.load(), 0);
    EXPECT_EQ(handover_.executeDuringStep.load(), 0);
    EXPECT_EQ(mirel::g_resizePending.load(), 0);
}

// After a lost device's present nothing more is run, presented or rebuilt, and the pump learns why.
TEST_F(MainLoopTest, ALostDeviceStopsTheLoopForGood)
{
    app_.loadingDoneAfter = 1;
    mirel::Start(nullptr);
    RunPipelinedFrames(3);
    backend_.lostAfter = backend_.presents;
    const int computeRuns = backend_.computeRuns, rebuilds = backend_.rebuilds;
    mirel::g_resizePending.store(1);
    RunPasses(5);
    EXPECT_EQ(mirel::LoopStopResult(), miResources::kDxgiErrorDeviceReset);
    EXPECT_EQ(backend_.presents, backend_.lostAfter + 1);
    EXPECT_EQ(backend_.computeRuns, computeRuns + 1);
    EXPECT_EQ(backend_.rebuilds, rebuilds);
    EXPECT_EQ(mirel::FramesInMode(kLoopPipelined), 3u) << "the failed present is not a frame";
    mirel::Shutdown();
    const int presents = backend_.presents;
    backend_.lostAfter = 1 << 30;
    miInput::g_inputModule.Init();
    mirel::Start(nullptr);
    RunPasses(1);
    EXPECT_EQ(mirel::LoopStopResult(), 0u) << "a new start runs again";
    EXPECT_EQ(backend_.presents, presents + 1);
}

// Only the first loss is reported, whichever thread meets it; other failures are no loss.
TEST(DeviceLoss, FirstLossIsLatchedAndNamed)
{
    using namespace miResources;
    const std::pair<uint32_t, const char*> kResults[] = {
        {kDxgiErrorDeviceRemoved, "DXGI_ERROR_DEVICE_REMOVED"},
        {kDxgiErrorDeviceHung, "DXGI_ERROR_DEVICE_HUNG"},
        {kDxgiErrorDeviceReset, "DXGI_ERROR_DEVICE_RESET"},
        {kDxgiErrorDriverInternalError, "DXGI_ERROR_DRIVER_INTERNAL_ERROR"},
        {0x80070057u, "E_INVALIDARG"},
        {0x887A0004u, "0x887A0004"}};
    for (const auto& [result, name] : kResults)
    {
        char text[40];
        FormatDeviceResult(result, text, sizeof text);
        EXPECT_STREQ(text, name);
        ClearDeviceLoss();
        const bool loss = (result >> 16) == 0x887Au && result != 0x887A0004u;
        EXPECT_EQ(LatchDeviceLoss(result), loss) << name;
        EXPECT_EQ(DeviceLossResult(), loss ? result : 0u) << name;
        EXPECT_EQ(LatchDeviceLoss(kDxgiErrorDeviceHung), !loss) << name;
        EXPECT_EQ(DeviceLossResult(), loss ? result : kDxgiErrorDeviceHung)
            << name << ": the first loss stays";
    }
    ClearDeviceLoss();
}

TEST_F(MainLoopTest, ShutdownWaitsForAStepInFlight)
{
    app_.loadingDoneAfter = 1;
    mirel::Start(nullptr);
    RunPasses(10);
    app_.stepSleepUs = 30000;
    RunPasses(1); // signals a slow step
    mirel::Shutdown();
    const int updatesAtExit = app_.updates;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(app_.updates, updatesAtExit) << "no step may run after shut-down";
    EXPECT_FALSE(handover_.stepRunning.load()) << "the step in flight finished before the modules went down";
}

TEST(MainLoopNoApp, StartWithoutApplicationIsReportedAndGoesNoFurther)
{
    mirel::test::ReportCapture reports;
    mirel::ClearEngineState();
    mirel::RegisterApp(nullptr);
    mirel::Start(nullptr);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Mirel has no registered app to execute"), std::string::npos);
    mirel::RunLoopPass();
    EXPECT_EQ(mirel::g_engineState.frameCounter.load(), 0u);
    mirel::Shutdown();
}

// ---- the demo's reload hotkeys against the frames the message thread draws ---------------------

// The message thread reads a setting while it presents.
class ConfigReadingBackend : public ScriptedBackend
{
  public:
    void Present() override
    {
        marker = mirel::GetPropertyFloat("reload.marker", 0.0f);
        ScriptedBackend::Present();
    }
    float marker = 0.0f;
};

// The demo application's Load registers M and R; its steps only mark themselves as running.
class WatchedDemoApp : public miCadora::CadoraApp
{
  public:
    void Update() override
    {
        g_handover->stepRunning.store(true);
        g_handover->stepsStarted.fetch_add(1);
        mirel::g_engineState.loadingDone.store(1);
    }
};

// M and R fire in the update step on the update thread; the materials and the configuration
// they reload are what the message thread uses while it presents. Each request is carried out
// once, on the message thread, between frames. Under TSan the direct call races.
TEST_F(MainLoopTest, DemoReloadHotkeysRunOnTheMessageThreadBetweenFrames)
{
    mirel::test::AssetTree tree;
    tree.CopyShipped();
    const std::string config = tree.Path("config.ini");
    mirel::SetConfigFilePath(config.c_str());
    // Material loading's device side: making a constant buffer uploads through the context.
    std::atomic<int> groundBuffers{0}, misplaced{0};
    mirel::test::FakeDevice host;
    host.onCreateConstantBuffer = [&](const char* name, int32_t, void*)
    {
        if (std::string(name) != "ground_matConst") return;
        ++groundBuffers;
        if (std::this_thread::get_id() != handover_.mainThread || handover_.stepRunning.load()) ++misplaced;
    };
    miRender::SetDeviceHost(&host);
    ConfigReadingBackend backend;
    backend.presentUs = 50;
    mirel::SetFrameBackend(&backend);
    miSim::Module* const modules[] = {&miInput::g_inputModule};
    mirel::SetEngineModules(modules, 1);
    WatchedDemoApp app;
    mirel::RegisterApp(&app);
    miSim::g_cameraManager.Create("mainCamera");

    mirel::test::ReportCapture reports;
    mirel::Start(nullptr);
    RunPipelinedFrames(5);
    constexpr int kRequests = 6;
    for (int request = 1; request <= kRequests; ++request)
    {
        std::ofstream(config) << "[reload]\nmarker = " << request << "\n";
        miInput::Keyboard().keyState[static_cast<unsigned char>('M')].store(1);
        miInput::Keyboard().keyState[static_cast<unsigned char>('R')].store(1);
        const uint64_t until = mirel::FramesInMode(kLoopPipelined) + 200;
        while (mirel::FramesInMode(kLoopPipelined) < until &&
               (groundBuffers.load() < request || backend.marker != static_cast<float>(request)))
            mirel::RunLoopPass();
        RunPipelinedFrames(mirel::FramesInMode(kLoopPipelined) + 5);
        EXPECT_EQ(backend.marker, static_cast<float>(request));
    }
    mirel::Shutdown();

    EXPECT_EQ(groundBuffers.load(), kRequests) << "once per request";
    EXPECT_EQ(misplaced.load(), 0) << "a reload ran off the message thread or during a step";
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
    mirel::SetConfigFilePath(nullptr);
    miSim::ClearScenePools();
}

} // namespace
