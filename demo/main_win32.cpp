// Program entry: detection, properties, display settlement, window, engine start and the pump.
#include "cadora.h"
#include "cadoracompute.h"
#include "cadorarenderer.h"
#include "debugview.h"
#include "overlayviews.h"
#include "statetrace.h"
#include "detect.h"

#include "input/input.h"
#include "mainloop.h"
#include "render/device/dx11/dx11Backend.h"
#include "render/device/dx11/dx11Device.h"
#include "scene/camera.h"
#include "scene/siment.h"
#include "window_win32.h"

#include "core/props.h"
#include "core/sys.h"
#include "core/utils.h"
#include "desktop_win32.h"
#include "settle.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>

namespace
{

// Diagnostics for automated runs: the settled properties on standard error.
void DumpProperty(const char* group, const char* variable, mirel::PropertyType type, const void* slot, void*)
{
    const float* f = static_cast<const float*>(slot);
    switch (type)
    {
    case mirel::kPropString:
        std::fprintf(stderr, "prop %s.%s = \"%.15s\"\n", group, variable, static_cast<const char*>(slot));
        break;
    case mirel::kPropFloat:
        std::fprintf(stderr, "prop %s.%s = %g\n", group, variable, f[0]);
        break;
    default:
        std::fprintf(stderr, "prop %s.%s = %g %g %g %g\n", group, variable, f[0], f[1], f[2], f[3]);
        break;
    }
}

void DumpProperties(const char* prefix)
{
    if (!mirel::sys::EnvironmentFlag("MIREL_DUMP_PROPERTIES")) return;
    std::fprintf(stderr, "%s\n", prefix);
    mirel::ForEachProperty(DumpProperty, nullptr);
    std::fflush(stderr);
}

// Counters for automated runs: frames presented in each loop mode.
void ReportLoop()
{
    if (!mirel::sys::EnvironmentFlag("MIREL_LOOP_STATS")) return;
    std::fprintf(stderr, "loop frames: loading %llu warmup %llu pipelined %llu total %llu\n",
                 static_cast<unsigned long long>(mirel::FramesInMode(mirel::kLoopLoading)),
                 static_cast<unsigned long long>(mirel::FramesInMode(mirel::kLoopWarmUp)),
                 static_cast<unsigned long long>(mirel::FramesInMode(mirel::kLoopPipelined)),
                 static_cast<unsigned long long>(mirel::g_engineState.frameCounter.load()));
    std::fflush(stderr);
}

// Registration order; the loop sorts them by rank for start-up and update.
miSim::Module* const kEngineModules[] = {&miWorld::g_worldModule, &miPhysics::g_physicsModule,
                                         &miCamera::g_cameraModule, &miUtils::g_utilsModule,
                                         &miInput::g_inputModule};

bool DeviceVerticalSync()
{
    const miResources::PlatformDevice* device = miResources::CurrentDevice();
    return device && device->settings.vsync != 0;
}

void InitDemoParts()
{
    miRender::SetRenderer(&miRender::g_cadoraRenderer);
    miRender::g_cadoraRenderer.loadProgress = &miCadora::State().loadProgress;
    miCadora::InstallGuiAndOverlays();
    miCadora::SetDeviceVsyncReader(DeviceVerticalSync);
    miRender::RegisterDebugView();
    miCadora::RegisterLoadController();
}

void SetVerticalSync(bool on)
{
    miResources::PlatformDevice* device = miResources::CurrentDevice();
    if (!device) return;
    const uint8_t interval = on ? 1 : 0;
    static int last = -1;
    if (interval != last) mirel::Trace("vsync interval %d", interval);
    last = interval;
    device->settings.vsync = interval;
}

miCadora::DemoParts DemoParts()
{
    miCadora::DemoParts parts;
    parts.init = InitDemoParts;
    parts.load = miCadora::ReadLoadSettings;
    parts.shutdown = miCadora::CloseLoadLog;
    parts.setVerticalSync = SetVerticalSync;
    parts.loadScreen = true;
    parts.afterUpdate = miCadora::TraceDemoState;
    return parts;
}

// The demo's own settings, before config.ini is read.
void RegisterDemoDefaults()
{
    mirel::SetPropertyFloat("cadora.anim_0_rate", 1);
    mirel::SetPropertyFloat("cadora.anim_1_rate", 0.5f);
    mirel::SetPropertyFloat("cadora.radius_mult", 1);
    mirel::SetPropertyFloat("cadora.variable_fps_freq", 0.1f);
    mirel::SetPropertyString("cadora.useGPUQuery", "true");
}

void LeaveFullscreenNow()
{
    if (miResources::PlatformDevice* device = miResources::CurrentDevice()) device->LeaveFullscreen();
}

// A report's box would open behind an exclusive full-screen image. Reports come from any
// thread, but SetFullscreenState needs the window's thread to answer its messages, and that
// thread may be waiting for the reporter: so the switch runs there, waited for a short while.
void LeaveFullscreenBeforeReport()
{
    mirel::RunOnWindowThread(LeaveFullscreenNow, 250);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    const miCadora::DetectionRecord* record = DetectDisplay();
    const float detectedHz = record ? static_cast<float>(record->maxRefreshMilliHz / 1000.0) : 0.0f;

    mirel::RegisterDefaults(RegisterDemoDefaults);
    if (!mirel::SettleDisplaySettings(mirel::QueryDesktopMode(), detectedHz))
    {
        MessageBoxW(nullptr, L"Interlaced mode is not supported", L"Error", MB_OK);
        ExitProcess(0);
    }
    DumpProperties("properties at start-up");
    std::fflush(stdout);

    if (mirel::CreateMainWindow(instance, showCommand, L"Cadora Demo") < 0) return 0;
    mirel::SetAssertPreReportHook(LeaveFullscreenBeforeReport);
    mirel::InstallWin32Input();
    miRender::InstallDx11FrameBackend();
    miRender::SetGpuQueryEnabled(mirel::IsPropertyTrue("cadora.useGPUQuery"));
    miCamera::g_cameraModule.cycleNames[0] = "mainCamera";
    miCamera::g_cameraModule.cycleNames[1] = "sunCamera";
    miCamera::g_cameraModule.cycleNames[2] = "shadowCam";
    mirel::SetEngineModules(kEngineModules,
                            static_cast<int32_t>(sizeof kEngineModules / sizeof kEngineModules[0]));
    miCadora::SetDemoParts(DemoParts());
    mirel::RegisterApp(&miCadora::g_cadoraApp);
    mirel::Start(mirel::MainWindowHandle());
    const int code = mirel::RunMessageLoop();
    ReportLoop();
    DumpProperties("properties at exit");
    std::fflush(stdout);
    return code;
}
