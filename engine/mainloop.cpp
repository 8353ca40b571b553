#include "mainloop.h"

#include "frametimer.h"
#include "input/console.h"
#include "input/input.h"

#include "core/props.h"
#include "core/utils.h"

#include <algorithm>
#include <vector>

namespace mirel
{

EngineState g_engineState;
std::atomic<uint8_t> g_resizePending{0};
MainUpdateJob g_mainUpdateJob;

namespace
{

// Created before the entry point so a step can never finish unobserved.
sys::AutoResetEvent g_updateDone(u"Mirel_MainUpdateThread");
sys::CriticalSection g_engineStateLock;

FrameBackend g_nullBackend;
FrameBackend* g_backend = &g_nullBackend;

MirelApp* g_app = nullptr;
bool g_started = false;
void* g_window = nullptr;
std::atomic<int32_t> g_loopMode{kLoopLoading};
int32_t g_warmUpCounter = 5;
uint32_t g_stopResult = 0;
uint64_t g_framesInMode[3] = {};

sys::CriticalSection g_betweenFramesLock;
std::vector<void (*)()> g_betweenFrames;

std::vector<miSim::Module*> g_moduleSet;
std::vector<miSim::Module*>* g_initList = nullptr;
std::vector<miSim::Module*>* g_updateList = nullptr;

// Only between a finished step and the next signal: the update thread is idle here.
void RunQueuedWork()
{
    std::vector<void (*)()> work;
    {
        sys::ScopedLock lock(g_betweenFramesLock);
        work.swap(g_betweenFrames);
    }
    for (void (*fn)() : work)
        fn();
}

// Only where the update thread is idle and the last recording has been executed: the rebuild
// replaces the targets a recording names, and the next step then records against the new ones.
void RebuildIfResizePending()
{
    if (!g_stopResult && g_resizePending.exchange(0)) g_backend->RebuildForResize();
}

void PresentFrame(LoopMode mode)
{
    g_backend->Present();
    // Nothing more is asked of a lost device: the pass ends its bookkeeping and the pump stops.
    if (const uint32_t lost = g_backend->DeviceLostResult())
    {
        if (!g_stopResult) Trace("device lost, loop stopped");
        g_stopResult = lost;
        return;
    }
    // Screenshots of automated runs wait for this rather than for a guessed delay.
    if (g_engineState.frameCounter.fetch_add(1) == 0) Trace("first frame presented");
    ++g_framesInMode[mode];
}

void ReadGpuTimes()
{
    g_engineState.gpuFrameMs.store(g_engineState.GpuTimingRequested() ? g_backend->GpuFrameResultMs() : 0.0f);
    g_engineState.gpuSecondMs.store(g_backend->DeviceSecondGpuMs());
}

void LoadingPass()
{
    RunUpdateStep();
    g_backend->UploadFrameConstants();
    g_backend->ExecuteViews();
    PresentFrame(kLoopLoading);
    RebuildIfResizePending();
    g_frameTimer.Tick();
    g_frameTimer.ticked = 0;
    RunQueuedWork();
    if (g_engineState.loadingDone.load())
    {
        g_loopMode.store(kLoopWarmUp);
        miThreads::SignalAll();
    }
}

void WarmUpPass()
{
    g_updateDone.Wait();
    --g_warmUpCounter;
    if (!g_engineState.gpuTimingBroken.load() && g_warmUpCounter >= 1)
    {
        const bool timing = g_engineState.GpuTimingRequested();
        if (timing) g_backend->BeginGpuFrameQuery();
        g_backend->RunComputeContexts();
        g_backend->ExecuteViews();
        PresentFrame(kLoopWarmUp);
        if (timing) g_backend->EndGpuFrameQuery();
        RebuildIfResizePending();
        RunQueuedWork();
        miThreads::SignalAll();
        ReadGpuTimes();
        if (g_backend->GpuQueryEnabled() && g_engineState.gpuTimingBroken.load() &&
            !FindProperty("debug.gpuQueryRingBufferSize", false))
        {
            // A broken timer is usually a ring too short for the driver's latency.
            RegisterProperty("debug.gpuQueryRingBufferSize", kPropFloat);
            SetPropertyFloat("debug.gpuQueryRingBufferSize", 8.0f);
            g_backend->RecreateGpuQueryRing();
        }
        return;
    }
    g_loopMode.store(kLoopPipelined);
    RebuildIfResizePending();
    RunQueuedWork();
    miThreads::SignalAll();
}

void PipelinedPass()
{
    g_frameTimer.Tick();
    g_frameTimer.ticked = 0;
    g_updateDone.Wait();
    const bool queries = g_backend->GpuQueryEnabled();
    if (queries && g_engineState.GpuTimingRequested() && g_backend->HasDevice())
        g_backend->BeginGpuFrameQuery();
    g_backend->RunComputeContexts();
    g_backend->ExecuteViews();
    // With a resize pending the next step starts after the present and the rebuild, not before.
    const bool resize = g_resizePending.load() != 0;
    if (queries)
    {
        if (g_engineState.GpuTimingRequested()) g_backend->EndGpuFrameQuery();
        ReadGpuTimes();
    }
    RunQueuedWork();
    if (!resize) miThreads::SignalAll();
    g_presentTimer.Reset();
    PresentFrame(kLoopPipelined);
    g_presentTimer.Tick();
    g_presentMs = g_presentTimer.elapsed * 1000.0f;
    if (resize)
    {
        RebuildIfResizePending();
        miThreads::SignalAll();
    }
}

bool ByInitRank(const miSim::Module* a, const miSim::Module* b)
{
    return a->initRank < b->initRank;
}
bool ByUpdateRank(const miSim::Module* a, const miSim::Module* b)
{
    return a->updateRank < b->updateRank;
}

} // namespace

sys::CriticalSection& EngineStateLock()
{
    return g_engineStateLock;
}

void RunBetweenFrames(void (*work)())
{
    if (!work) return;
    sys::ScopedLock lock(g_betweenFramesLock);
    g_betweenFrames.push_back(work);
}

void ClearEngineState()
{
    EngineState& s = g_engineState;
    s.uiMode.store(0);
    s.keyboardLocked.store(0);
    s.overlayGpuTiming.store(0);
    s.controllerGpuTiming.store(0);
    s.drawCalls = s.primitives = 0;
    s.gpuFrameMs.store(0.0f);
    s.gpuSecondMs.store(0.0f);
    s.gpuTimingBroken.store(0);
    s.loadingDone.store(0);
    s.frameCounter.store(0);
}

void FrameBackend::RequestResize()
{
    g_resizePending.store(1);
}

void SetFrameBackend(FrameBackend* backend)
{
    g_backend = backend ? backend : &g_nullBackend;
}
FrameBackend& Backend()
{
    return *g_backend;
}

sys::AutoResetEvent& MainUpdateJob::DoneEvent()
{
    return g_updateDone;
}

bool MainUpdateJob::Execute(miThreads::ThreadSlot* runningSlot)
{
    slot = runningSlot;
    RunUpdateStep();
    g_updateDone.Set();
    return true;
}

void RegisterApp(MirelApp* app)
{
    g_app = app;
}
MirelApp* RegisteredApp()
{
    return g_app;
}

void RegisterModule(miSim::Module* module)
{
    if (!g_initList) g_initList = new std::vector<miSim::Module*>();
    if (!g_updateList) g_updateList = new std::vector<miSim::Module*>();
    g_initList->push_back(module);
    g_updateList->push_back(module);
}

void SetEngineModules(miSim::Module* const* modules, int32_t count)
{
    g_moduleSet.assign(modules, modules + (count > 0 ? count : 0));
}

int32_t ModuleCount()
{
    return g_initList ? static_cast<int32_t>(g_initList->size()) : 0;
}

miSim::Module* InitOrderModule(int32_t index)
{
    return index >= 0 && index < ModuleCount() ? (*g_initList)[static_cast<size_t>(index)] : nullptr;
}

miSim::Module* UpdateOrderModule(int32_t index)
{
    return index >= 0 && index < ModuleCount() ? (*g_updateList)[static_cast<size_t>(index)] : nullptr;
}

void RunUpdateStep()
{
    if (!g_app) return;
    g_updateTimer.Reset();
    g_backend->ProcessPendingReleases();
    g_app->Update();
    if (g_updateList)
        for (miSim::Module* module : *g_updateList)
            module->Update();
    g_backend->RecordViews();
    g_updateTimer.Tick();
    g_updateMs = g_updateTimer.elapsed * 1000.0f;
}

void Start(void* windowHandle)
{
    MIREL_ASSERT(g_app != nullptr, 509, "Mirel has no registered app to execute");
    if (!g_app) return;
    g_app->Init();
    g_backend->InitRenderDevice(windowHandle);

    for (miSim::Module* module : g_moduleSet)
        RegisterModule(module);
    if (g_initList)
    {
        // Stable, so equal ranks keep their registration order.
        std::stable_sort(g_initList->begin(), g_initList->end(), ByInitRank);
        std::stable_sort(g_updateList->begin(), g_updateList->end(), ByUpdateRank);
        for (miSim::Module* module : *g_initList)
            module->Init();
    }

    miInput::ConsoleClear();
    miInput::KeyBinding consoleKey;
    consoleKey.key = miInput::kConsoleKey;
    consoleKey.callback = miInput::ToggleConsole;
    miInput::RegisterKey(consoleKey);

    g_app->Load();
    g_backend->SetUpRenderer();
    g_backend->ResetComputeContexts();

    g_window = windowHandle;
    g_loopMode.store(kLoopLoading);
    // The program starts once; tests start the engine several times in one process.
    g_warmUpCounter = 5;
    g_stopResult = 0;
    for (uint64_t& n : g_framesInMode)
        n = 0;
    // A completion left over from an earlier run in this process must not count as this run's.
    g_updateDone.WaitFor(0);
    {
        sys::ScopedLock lock(g_betweenFramesLock);
        g_betweenFrames.clear();
    }
    g_frameTimer.Reset();

    miThreads::CreateThreadPool();
    miThreads::StartWorker(miThreads::GetSlot(0), &g_mainUpdateJob);
    g_started = true;
}

void RunLoopPass()
{
    if (!g_started || g_stopResult) return;
    switch (g_loopMode.load())
    {
    case kLoopPipelined:
        PipelinedPass();
        break;
    case kLoopLoading:
        LoadingPass();
        break;
    case kLoopWarmUp:
        WarmUpPass();
        break;
    default:
        break;
    }
}

void Shutdown()
{
    if (!g_started) return;
    g_started = false;
    // Waits for a step in flight, then stops the worker.
    miThreads::DestroyThreadPool();

    if (g_initList)
        for (auto it = g_initList->rbegin(); it != g_initList->rend(); ++it)
            (*it)->Shutdown();
    delete g_initList;
    delete g_updateList;
    g_initList = g_updateList = nullptr;

    g_backend->ShutdownRenderer();
    if (g_app) g_app->Shutdown();
    g_backend->ClearObjectManagers();
}

uint32_t LoopStopResult()
{
    return g_stopResult;
}

LoopMode CurrentLoopMode()
{
    return static_cast<LoopMode>(g_loopMode.load());
}
int32_t WarmUpCounter()
{
    return g_warmUpCounter;
}
void* MainWindow()
{
    return g_window;
}
uint64_t FramesInMode(LoopMode mode)
{
    return mode >= 0 && mode < 3 ? g_framesInMode[mode] : 0;
}

} // namespace mirel

namespace miUtils
{

UtilsModule g_utilsModule;

void UtilsModule::Init()
{
    mirel::BuildAssetRoot();
    mirel::ClearEngineState();
    mirel::g_engineState.uiMode.store(mirel::kUiNone);
}

// The engine state's lock is a static with program lifetime; nothing to release here.
void UtilsModule::Shutdown() {}

} // namespace miUtils
