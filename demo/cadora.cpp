#include "cadora.h"

#include "animation.h"
#include "camerapath.h"
#include "detect.h"
#include "switches.h"

#include "frametimer.h"
#include "input/input.h"
#include "scene/camera.h"
#include "render/material.h"

#include "core/props.h"
#include "scene/siment.h"
#include "core/sys.h"
#include "core/utils.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace miCadora
{

CadoraApp g_cadoraApp;

DemoState& State()
{
    return g_cadoraApp.state;
}

namespace
{

DemoParts g_parts;
// Automated runs watch the frame counter advance on standard error.
bool g_reportFrames = false;
float g_reportClock = 0.0f;
constexpr float kReportSeconds = 10.0f;

void ReportFrames(float dt)
{
    if (!g_reportFrames) return;
    g_reportClock += dt;
    if (g_reportClock < kReportSeconds) return;
    g_reportClock = 0.0f;
    std::fprintf(stderr, "frame counter %llu\n",
                 static_cast<unsigned long long>(mirel::g_engineState.frameCounter.load()));
    std::fflush(stderr);
}

const char* const kReloadedMaterials[] = {"WM_blade", "ground", "skybox"};

void ReloadConfig()
{
    mirel::LoadConfigFile();
    mirel::Trace("config reloaded");
}

// Hotkeys fire in the update step, on the update thread once loading is over; what they change
// is read or used by the message thread, so the work waits for a point between frames.
void RequestMaterialReload()
{
    mirel::RunBetweenFrames(ReloadMaterials);
}
void RequestConfigReload()
{
    mirel::RunBetweenFrames(ReloadConfig);
}

void RegisterHotkey(char key, void (*callback)())
{
    miInput::KeyBinding binding;
    binding.key = key;
    binding.callback = callback;
    miInput::RegisterKey(binding);
}

void Pause300ms()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

void BuildEntity(const char* name, const char* model, const mirel::Vec3& position)
{
    miSim::BuildDynamicEnt(name, model, position, mirel::Vec3{0.0f, 0.0f, 0.0f});
}

} // namespace

void SetDemoParts(const DemoParts& parts)
{
    g_parts = parts;
}

void ReloadMaterials()
{
    // LoadMaterial releases and clears an existing material before reading it again, and
    // creates one that was never loaded; forced, the configuration and its shaders are rebuilt
    // from their files too.
    for (const char* name : kReloadedMaterials)
        miResources::LoadMaterial(name, true);
    mirel::Trace("materials reloaded");
}

void SceneBuildStep()
{
    DemoState& s = State();
    if (!s.loadStarted) return;
    float& p = s.loadProgress;
    if (p == 0.0f) mirel::Trace("scene build started");
    if (p < 0.1f)
    {
        BuildEntity("ground", "ground", mirel::Vec3{0.0f, 1000.0f, 0.0f});
        // The ground receives the windmill's shadow but casts none.
        if (miSim::DynamicEnt* ground = miSim::FindDynamicEnt("ground"))
            ground->flags &= ~static_cast<uint32_t>(miSim::kEntityCastsShadow);
        p += 0.1f;
    }
    else if (p < 0.2f)
    {
        BuildEntity("windmill_base0", "windmill_base", mirel::Vec3{0.0f, 1000.0f, 0.0f});
        p += 0.2f;
    }
    else if (p < 0.4f)
    {
        BuildEntity("windmill_blade0", "windmill_blades", mirel::Vec3{3.8f, 1050.84f, 0.0f});
        p += 0.2f;
    }
    else if (p < 1.0f)
    {
        Pause300ms();
        p += 0.2f;
    }
}

void TurnBlades(float dt)
{
    DemoState& s = State();
    s.bladeSpeed = s.bladeSlider * 100.0f;
    miSim::DynamicEnt* blades = miSim::FindDynamicEnt("windmill_blade0");
    if (blades)
    {
        blades->transform.dirty = 1;
        blades->transform.rotation.x -= s.bladeSpeed * dt;
    }
    s.bladeClock += dt;
    if (s.bladeClock > kBladeClockRestart)
    {
        // After an hour the angle has lost precision: start the turn and the timers over.
        if (blades)
        {
            blades->transform.rotation = mirel::Vec3{0.0f, 0.0f, 0.0f};
            blades->transform.dirty = 1;
        }
        mirel::g_frameTimer.Reset();
        mirel::g_updateTimer.Reset();
        mirel::g_presentTimer.Reset();
        s.bladeClock = 0.0f;
    }
}

void ResetDemoState()
{
    DemoState& s = State();
    const DemoState start;
    s.bladeSpeed = start.bladeSpeed;
    s.bladeClock = start.bladeClock;
    s.loadProgress = start.loadProgress;
    s.loadStarted = start.loadStarted;
    s.bladeSlider = start.bladeSlider;
    s.verticalSync = start.verticalSync;
}

void CadoraApp::Init()
{
    if (g_parts.init) g_parts.init();
}

void CadoraApp::Load()
{
    if (miSim::CameraEnt* sun = miSim::FindCamera("sunCamera"))
    {
        sun->transform.rotation = mirel::Vec3{-135.0f, -118.0f, 0.0f};
        sun->transform.dirty = 1;
    }
    ResetCamera();
    RegisterHotkey('M', RequestMaterialReload);
    RegisterHotkey('R', RequestConfigReload);
    ResetAnimations();
    LoadCameraPath();
    miCamera::cameraControlEnabled = false;
    if (g_parts.load) g_parts.load();
    g_reportFrames = mirel::sys::EnvironmentFlag("MIREL_LOOP_STATS");
}

void CadoraApp::Shutdown()
{
    if (g_parts.shutdown) g_parts.shutdown();
    if (!GetDetectionRecord()) return;
#ifdef _WIN32
    ::ShutdownDisplay();
#else
    ShutdownDisplayWith(nullptr);
#endif
}

void CadoraApp::Update()
{
    if (!mirel::g_engineState.loadingDone.load())
    {
        SceneBuildStep();
        if (!g_parts.loadScreen)
        {
            state.loadStarted = true;
            if (state.loadProgress >= 1.0f) mirel::g_engineState.loadingDone.store(1);
        }
        return;
    }
    UpdateCamera();
    TurnBlades(mirel::FrameDelta());
    ReportFrames(mirel::FrameDelta());
    if (g_parts.setVerticalSync) g_parts.setVerticalSync(state.verticalSync);
    if (g_parts.afterUpdate) g_parts.afterUpdate();
}

} // namespace miCadora
