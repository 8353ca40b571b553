#include "debugview.h"

#include "cadoracompute.h"
#include "cadoraviews.h"
#include "demostate.h"
#include "detect.h"

#include "core/props.h"
#include "frametimer.h"
#include "input/console.h"
#include "input/input.h"
#include "mainloop.h"
#include "render/device/devicehost.h"
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11Resources.h"
#include "render/device/modeselect.h"
#include "scene/camera.h"
#include "render/device/resources.h"
#include "render/material.h"

#include <cfloat>

namespace miRender
{

namespace
{

constexpr const char* kViewFile = "render/render_views/debug_renderview";
// The options menu draws its frame here; the rate labels sit beside its boxes.
constexpr float kMenuOriginX = 10.0f, kMenuOriginY = 10.0f;
constexpr int32_t kPixelStage = 0;

// The overlay material's texture before T first showed the shadow map.
int32_t g_rememberedOverlayTexture = -1;

void CreateResolvedDepth()
{
    Renderer* renderer = GetRenderer();
    const uint32_t w = renderer ? renderer->outputWidth : 1280, h = renderer ? renderer->outputHeight : 720;
    // Borrows the depth buffer of the target with id 0 instead of owning one.
    const int32_t target =
        miResources::CreateRenderTarget("resolvedDepth", w, h, kFormatR32Float, false, 0, 1);
    if (target < 0) return;
    auto& pool = miResources::GpuResources();
    miResources::PlatformGPUResource* res = pool.Find("resolvedDepth");
    if (!res) res = pool.Create("resolvedDepth");
    if (!res) return;
    res->writable = 0;
    res->kind = miResources::kGpuRenderTargetColour;
    res->renderTargetId = target;
    res->Create();
}

void EnsureMaterial(const char* name)
{
    if (!miResources::MaterialManager().Find(name)) miResources::LoadMaterial(name);
}

} // namespace

void ToggleDebugTexture()
{
    miResources::Material* overlay = miResources::MaterialManager().Find("overlay");
    if (!overlay) return;
    int32_t& debugTextureIndex = miCadora::State().debugTextureIndex;
    if (debugTextureIndex == -1) g_rememberedOverlayTexture = overlay->srvIds[kPixelStage][0];
    ++debugTextureIndex;
    if (debugTextureIndex == 0)
    {
        const int32_t id = miRender::GetDeviceHost().FindGpuResource("cascade0");
        mirel::Assert(id >= 0, kViewFile, 62, "Resource not found: %s", "cascade0");
        if (id >= 0) overlay->srvIds[kPixelStage][0] = id;
        miResources::SetMaterialFloat(*overlay, "debugType", 1.0f);
    }
    else if (debugTextureIndex == 1)
    {
        debugTextureIndex = -1;
        overlay->srvIds[kPixelStage][0] = g_rememberedOverlayTexture;
        miResources::SetMaterialFloat(*overlay, "debugType", -1.0f);
    }
}

miCadora::StatsInputs GatherStatsInputs()
{
    miCadora::StatsInputs in;
    const mirel::FrameTimer& t = mirel::g_frameTimer;
    in.delta = t.delta;
    in.fps = t.fps;
    in.instantFps = t.instantFps;
    in.averageFps = t.averageFps;
    in.gpuFrameMs = mirel::g_engineState.gpuFrameMs.load();
    in.gpuSecondMs = mirel::g_engineState.gpuSecondMs.load();
    in.gpuTimingFault = mirel::g_engineState.gpuTimingBroken.load() != 0;
    in.frameCounter = mirel::g_engineState.frameCounter.load();
    in.updateMs = mirel::g_updateMs;
    in.presentMs = mirel::g_presentMs;
    in.useGpuQuery = miCadora::State().useGpuQuery;
    const miCadora::LoadState& load = miCadora::g_loadState;
    in.computeThreads = load.computeThreads;
    in.threadIncrement = load.threadIncrement;
    in.threadHistory = load.threadHistory;
    in.threadHistoryCount = load.historyCount < 0                             ? 0
                            : load.historyCount > miCadora::kThreadHistoryMax ? miCadora::kThreadHistoryMax
                                                                              : load.historyCount;
    in.detection = miCadora::GetDetectionRecord();
    if (const miResources::PlatformDevice* device = miResources::CurrentDevice())
    {
        const miResources::AdapterRecord& adapter = device->settings.adapters[miResources::AdapterRecordIndex(
            device->settings.adapterIndices, device->settings.adapterCount, device->adapterSlot)];
        in.adapterName = adapter.name;
        in.videoMemoryMB = static_cast<int32_t>(adapter.videoMemoryMB);
        in.usedRefreshHz = device->settings.usedRefreshHz;
        in.maxRefreshHz = device->settings.maxRefreshHz;
        in.queryRingSize = static_cast<int32_t>(device->queryRing.size);
    }
    if (const Renderer* renderer = GetRenderer())
    {
        in.outputWidth = static_cast<int32_t>(renderer->outputWidth);
        in.outputHeight = static_cast<int32_t>(renderer->outputHeight);
    }
    in.desktopX = mirel::GetPropertyFloat("render_desktop.resolutionX", FLT_MAX);
    in.desktopY = mirel::GetPropertyFloat("render_desktop.resolutionY", FLT_MAX);
    in.showStats = miCadora::State().showStats;
    return in;
}

void Debug_RV::Init()
{
    RenderView::Init();
    miSim::CameraEnt* camera = miSim::FindCamera("mainCamera");
    cameraHandle = camera ? camera->handle : -1;
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    SetTarget("swapChain", false, false, black, 1.0f);
    hud.OnCreate();

    miCadora::DemoState& state = miCadora::State();
    state.debugLineCount = 0;
    auto& buffers = miResources::DynamicVertexBuffers();
    miResources::PlatformDynamicVertexBuffer* lines = buffers.Find("lineDrawBuffer");
    if (!lines) lines = buffers.Create("lineDrawBuffer");
    state.lineDrawBufferId = -1;
    if (lines)
    {
        lines->count = miCadora::kDebugLineCapacity;
        lines->stride = sizeof(miCadora::LineVertex);
        lines->data = miCadora::DebugLines();
        lines->Create();
        state.lineDrawBufferId = lines->handle;
    }

    EnsureMaterial("overlay");
    EnsureMaterial("line");
    CreateResolvedDepth();

    miInput::KeyBinding t;
    t.key = 'T';
    t.callback = ToggleDebugTexture;
    miInput::RegisterKey(t);
}

void Debug_RV::OnResize()
{
    CreateResolvedDepth();
}

void Debug_RV::Shutdown()
{
    miCadora::State().debugLineCount = 0;
    hud.OnRelease();
}

void Debug_RV::BeginFrame()
{
    RenderView::BeginFrame();
    miCadora::State().debugLineCount = 0;
    AddDebugLines();
    const int32_t n = miCadora::State().debugLineCount;
    lineCount = n < 0 ? 0 : (n > miCadora::kDebugLineCapacity ? miCadora::kDebugLineCapacity : n);
}

void Debug_RV::Record()
{
    if (lineCount > 0) pipe.DrawLines(static_cast<uint32_t>(lineCount));
    if (miCadora::State().debugTextureIndex != -1) DrawFullscreen("overlay");
}

void Debug_RV::Execute()
{
    pipe.Execute();
    if (mirel::g_engineState.uiMode.load() == mirel::kUiConsole)
    {
        mirel::TextList console;
        miInput::DrawConsole(console);
        console.x = 10.0f;
        console.y = 10.0f;
        hud.Draw(console);
    }
    const miCadora::StatsInputs in = GatherStatsInputs();
    mirel::TextList summary;
    miCadora::BuildSummary(in, summary);
    hud.Draw(summary);
    DrawStatsText();
}

void Debug_RV::DrawStatsText()
{
    const miCadora::DemoState& state = miCadora::State();
    if (state.debugGui)
    {
        mirel::TextList labels[3];
        miCadora::BuildMenuLabels(kMenuOriginX, kMenuOriginY, state.targetFps, labels);
        for (const mirel::TextList& l : labels)
            hud.Draw(l);
    }
    if (!state.showStats) return;
    mirel::TextList block;
    miCadora::BuildStatsBlock(GatherStatsInputs(), block);
    hud.Draw(block);
}

RenderView* CreateDebugView()
{
    return new Debug_RV(kCadoraViewNames[kViewDebug]);
}

void RegisterDebugView()
{
    SetCadoraViewFactory(kViewDebug, CreateDebugView);
}

} // namespace miRender
