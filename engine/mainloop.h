// The application interface, the engine state, and the main loop with its update thread.
#pragma once

#include "module.h"

#include "core/sys.h"
#include "core/threading.h"

#include <atomic>
#include <cstdint>

namespace mirel
{

class MirelApp
{
  public:
    virtual ~MirelApp() = default;
    // Before the render device exists: the application picks its renderer and compute contexts.
    virtual void Init() = 0;
    // After the device, the modules and the console key exist.
    virtual void Load() = 0;
    // After the renderer has shut down.
    virtual void Shutdown() = 0;
    // Once per update step, before the modules.
    virtual void Update() = 0;
};

enum UiMode : int32_t
{
    kUiConsole = 2,
    kUiNone = 4,
};

// Shared between the two threads without locks; atomics keep single values whole.
struct EngineState
{
    std::atomic<int32_t> uiMode{kUiNone};
    std::atomic<int32_t> keyboardLocked{0};
    // GPU-timing requests: the overlay's (key 1) and the load controller's.
    std::atomic<uint8_t> overlayGpuTiming{0};
    std::atomic<uint8_t> controllerGpuTiming{0};
    // Counted under EngineStateLock() while the overlay flag is set.
    uint32_t drawCalls = 0;
    uint32_t primitives = 0;
    std::atomic<float> gpuFrameMs{0.0f};
    std::atomic<float> gpuSecondMs{0.0f};
    std::atomic<uint8_t> gpuTimingBroken{0};
    std::atomic<uint8_t> loadingDone{0};
    std::atomic<uint64_t> frameCounter{0};

    bool GpuTimingRequested() const { return overlayGpuTiming.load() || controllerGpuTiming.load(); }
};

extern EngineState g_engineState;
sys::CriticalSection& EngineStateLock();

// Zeroes the engine state (the utilities module's start-up).
void ClearEngineState();

enum LoopMode : int32_t
{
    kLoopLoading = 0,
    kLoopWarmUp = 1,
    kLoopPipelined = 2,
};

// What the loop drives below the engine: the renderer, the device, GPU timing and compute.
// The default does nothing, so the loop runs before any renderer exists.
class FrameBackend
{
  public:
    virtual ~FrameBackend() = default;
    virtual void InitRenderDevice(void* /*window*/) {}
    // Render targets, renderer Init, the views and their Init.
    virtual void SetUpRenderer() {}
    // Render targets again and every view's OnResize.
    virtual void RebuildForResize() {}
    virtual void ResetComputeContexts() {}
    virtual void RunComputeContexts() {}
    virtual void RecordViews() {}
    virtual void ExecuteViews() {}
    // Per-frame, camera and shadow constants (Loading passes only; later passes upload from the views).
    virtual void UploadFrameConstants() {}
    virtual void Present() {}
    // Nonzero once the device is lost (the failing result); the loop then stops for good.
    virtual uint32_t DeviceLostResult() { return 0; }
    virtual bool HasDevice() { return false; }
    // The application's switch for GPU timing.
    virtual bool GpuQueryEnabled() { return false; }
    virtual void BeginGpuFrameQuery() {}
    // Ends the query and advances the ring.
    virtual void EndGpuFrameQuery() {}
    virtual float GpuFrameResultMs() { return 0.0f; }
    virtual float DeviceSecondGpuMs() { return 0.0f; }
    virtual void RecreateGpuQueryRing() {}
    virtual void ShutdownRenderer() {}
    // The window size or mode changed; by default the next pass rebuilds.
    virtual void RequestResize();
    // Deferred releases of every object manager, then clearing them at shut-down.
    virtual void ProcessPendingReleases() {}
    virtual void ClearObjectManagers() {}
};

void SetFrameBackend(FrameBackend* backend);
FrameBackend& Backend();

// The update step's job on the worker thread; signals "Mirel_MainUpdateThread" after each step.
class MainUpdateJob : public miThreads::Job
{
  public:
    bool Execute(miThreads::ThreadSlot* slot) override;
    void Cancel() override {}
    void OnSuccess() override {}
    void OnFailure() override {}
    sys::AutoResetEvent& DoneEvent();
};

extern MainUpdateJob g_mainUpdateJob;

void RegisterApp(MirelApp* app);
MirelApp* RegisteredApp();
void RegisterModule(miSim::Module* module);
// The modules Start() registers, in registration order (the program sets the engine's five).
void SetEngineModules(miSim::Module* const* modules, int32_t count);
int32_t ModuleCount();
miSim::Module* InitOrderModule(int32_t index);
miSim::Module* UpdateOrderModule(int32_t index);

// Start-up: application Init, device, modules, console key, Load, renderer, compute, timer, worker.
void Start(void* windowHandle);
// One idle pass of the message pump: a Loading, WarmUp or Pipelined pass.
void RunLoopPass();
// The update step (message thread while loading, update thread afterwards).
void RunUpdateStep();
// Shut-down in reverse: worker, modules, renderer, application, object managers.
void Shutdown();

LoopMode CurrentLoopMode();
// The result the loop stopped on after a lost device, 0 while it runs; the pump then ends.
uint32_t LoopStopResult();
int32_t WarmUpCounter();
void* MainWindow();
// Frames presented in each mode since Start.
uint64_t FramesInMode(LoopMode mode);

// Raised by the render layer when the window size changes; tested and cleared by both threads.
extern std::atomic<uint8_t> g_resizePending;

// Queues work for the message thread, run once at the next point between frames where no update
// step runs (the step has finished and the next one is not yet signalled). For what the update
// thread must not touch while the message thread draws: the immediate context, property inserts.
// Callable from either thread.
void RunBetweenFrames(void (*work)());

} // namespace mirel

namespace miUtils
{
class UtilsModule : public miSim::Module
{
  public:
    UtilsModule() : Module(0, 4) {}
    void Init() override;
    void Shutdown() override;
};
extern UtilsModule g_utilsModule;
} // namespace miUtils
