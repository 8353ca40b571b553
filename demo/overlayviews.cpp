#include "overlayviews.h"

#include "cadora.h"
#include "cadoracompute.h"
#include "cadoraviews.h"
#include "demostate.h"
#include "frametimer.h"
#include "mainloop.h"
#include "core/props.h"
#include "scene/camera.h"
#include "render/device/resources.h"
#include "render/material.h"

#include <cmath>

namespace
{
miCadora::LineBufferMaker g_lineBufferMaker = nullptr;
bool (*g_deviceVsync)() = nullptr;

void SetVar(const char* materialName, const char* var, float value)
{
    if (miResources::Material* m = miResources::MaterialManager().Find(materialName))
        miResources::SetMaterialFloat(*m, var, value);
}

void EnsureMaterial(const char* name)
{
    miRender::DeviceHost& host = miRender::GetDeviceHost();
    if (host.FindMaterial(name) < 0) host.LoadMaterial(name);
}

miSim::CameraEnt* FindOrCreateCamera(const char* name, float farZ)
{
    miSim::CameraEnt* camera = miSim::FindCamera(name);
    if (!camera) camera = miSim::g_cameraManager.Create(name);
    if (camera) miSim::SetPerspective(*camera, 0.7855f, 0.01f, farZ, -1, -1);
    return camera;
}

const float kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};

} // namespace

namespace miCadora
{

void SetLineBufferMaker(LineBufferMaker maker)
{
    g_lineBufferMaker = maker;
}
void SetDeviceVsyncReader(bool (*reader)())
{
    g_deviceVsync = reader;
}

void InstallGuiAndOverlays()
{
    miRender::RegisterOverlayViews();
    miRender::SetMouseHandlerRegistration(miGui::RegisterGuiListeners);
#ifdef _WIN32
    InstallGuiDeviceHooks();
#endif
}

} // namespace miCadora

namespace miRender
{

void LoadScreen_RV::Init()
{
    RenderView::Init();
    miSim::CameraEnt* camera = FindOrCreateCamera("cam0", 2000.0f);
    cameraHandle = camera ? camera->handle : -1;
    SetTarget("swapChain", true, false, kBlack, 1.0f);
    onRedbarTarget_ = false;
    EnsureMaterial("loadScreen");
    EnsureMaterial("loadBar");
}

void LoadScreen_RV::Record()
{
    bool ready = mirel::g_engineState.loadingDone.load() != 0;
    miCadora::DemoState& state = miCadora::State();
    const miCadora::LoadScreenFrame f =
        miCadora::StepLoadScreen(mirel::FrameDelta(), state.loadStarted, state.loadProgress, ready);
    if (f.fadingIn) SetVar("loadScreen", "fadeIn", f.fadeIn);
    if (f.fadingOut)
    {
        if (!onRedbarTarget_)
        {
            // From now on the load screen is drawn into the overlay the final pass blends.
            targetCount = 0;
            SetTarget("redbar", true, false, kBlack, 1.0f);
            onRedbarTarget_ = true;
            pipe.Begin(constantBufferId);
            pipe.SetRenderTargets(static_cast<int32_t>(targetCount), targetIds, clears);
        }
        SetVar("atmosphere", "redbarFade", f.redbarFade);
        if (ready) mirel::g_engineState.loadingDone.store(1);
    }
    SetVar("loadBar", "load_progress", f.loadBar);
    DrawFullscreen("loadBar");
    DrawFullscreen("loadScreen");
}

void Redbar_RV::Init()
{
    RenderView::Init();
    miSim::CameraEnt* camera = miSim::FindCamera("mainCamera");
    cameraHandle = camera ? camera->handle : -1;
    SetTarget("redbar", true, false, kBlack, 1.0f);
    EnsureMaterial("bar");
}

void Redbar_RV::Record()
{
    const miCadora::RedbarFrame f = miCadora::StepRedbar(mirel::FrameDelta(), miCadora::State().redbarVisible,
                                                         miGui::Menu().animSpeedSlider.value);
    if (f.setFade) SetVar("atmosphere", "redbarFade", f.redbarFade);
    if (!f.draw) return;
    SetVar("bar", "bar_position", f.barPosition);
    DrawFullscreen("bar");
}

namespace
{
// x and y of -1..1 straight onto the screen. The camera module replaces any projection whose
// recorded size is not the output's by a perspective one (whose w is 0 at the lines' z of 0, so
// nothing would be drawn), hence the size goes with it.
void MakeFlatProjection(miSim::CameraEnt& camera)
{
    camera.width = miCamera::OutputWidth();
    camera.height = miCamera::OutputHeight();
    const float n = camera.nearZ, f = camera.farZ;
    mirel::Mat4 p;
    p.At(2, 2) = 1.0f / (f - n);
    p.At(3, 2) = n / (n - f);
    camera.projection = p;
}
} // namespace

void SnappyOverlay_RV::Init()
{
    RenderView::Init();
    miSim::CameraEnt* camera = FindOrCreateCamera("snappyOverlay", 4000.0f);
    if (camera) MakeFlatProjection(*camera);
    cameraHandle = camera ? camera->handle : -1;
    SetTarget("swapChain", false, false, kBlack, 1.0f);
    lineBufferId = g_lineBufferMaker ? g_lineBufferMaker() : -1;
    // The pipe's line draws use this material; nothing else may have loaded it.
    EnsureMaterial("line");
    graph.Reset();
}

void SnappyOverlay_RV::Record()
{
    graph.Add(mirel::FrameDelta() * 1000.0f);
    if (!graph.Full()) return;
    // Centred on the rate the controller steers to: the menu's, or the one pinned in config.ini.
    int32_t& lineCount = miCadora::State().debugLineCount;
    lineCount = graph.BuildLines(miCadora::CurrentLoadInputs().targetFps, miCadora::DebugLines(),
                                 miCadora::kDebugLineCapacity);
    if (!traced_)
        mirel::Trace("frame-time graph drawn: %d vertices, buffer %d", static_cast<int>(lineCount),
                     static_cast<int>(lineBufferId));
    traced_ = true;
    if (lineCount > 0 && lineBufferId >= 0) pipe.DrawLines(static_cast<uint32_t>(lineCount));
}

void SnappyOverlay_RV::Execute()
{
    pipe.Execute();
}

void SnappyOverlay_RV::OnResize()
{
    if (miSim::CameraEnt* camera = Camera()) MakeFlatProjection(*camera);
}

void SnappyOverlay_RV::Shutdown()
{
    lineBufferId = -1;
}

namespace
{

RenderView* MakeGui()
{
    Gui_RV* view = new Gui_RV(kCadoraViewNames[kViewGui]);
    view->env.debugGui = miCadora::State().debugGui;
    view->env.vsync = g_deviceVsync && g_deviceVsync();
    const float hz = mirel::GetPropertyFloat("render_init.monitorRefresh", 60.0f);
    view->env.refreshHz = std::isfinite(hz) && hz > 0.0f && hz < 1000.0f ? static_cast<int32_t>(hz) : 60;
    return view;
}

} // namespace

RenderView* CreateLoadScreenView()
{
    return new LoadScreen_RV(kCadoraViewNames[kViewLoadScreen]);
}
RenderView* CreateRedbarView()
{
    return new Redbar_RV(kCadoraViewNames[kViewRedbar]);
}
RenderView* CreateGuiView()
{
    return MakeGui();
}
RenderView* CreateSnappyView()
{
    return new SnappyOverlay_RV(kCadoraViewNames[kViewSnappy]);
}

void RegisterOverlayViews()
{
    SetCadoraViewFactory(kViewLoadScreen, CreateLoadScreenView);
    SetCadoraViewFactory(kViewRedbar, CreateRedbarView);
    SetCadoraViewFactory(kViewGui, CreateGuiView);
    SetCadoraViewFactory(kViewSnappy, CreateSnappyView);
}

} // namespace miRender
