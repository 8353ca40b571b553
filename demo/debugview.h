// The statistics view: frame-rate figures, the display's capability, adapter and resolutions,
// the load controller's figures, the console's input line, the shared debug lines and the
// shadow-map view toggled by T. Drawn over everything into the swap chain.
#pragma once

#include "render/device/dx11/dx11SpriteText.h"
#include "render/renderer.h"

#include "overlays.h"
#include "stats.h"

#include <cstdint>

namespace miRender
{

class Debug_RenderView : public RenderView
{
  public:
    explicit Debug_RenderView(const char* viewName) : RenderView(viewName) {}
    virtual void AddDebugLines() {}
    virtual void DrawStatsText() {}
};

class Debug_RV : public Debug_RenderView
{
  public:
    explicit Debug_RV(const char* viewName) : Debug_RenderView(viewName) {}
    void BeginFrame() override;
    void Record() override;
    void Init() override;
    void Shutdown() override;
    void OnResize() override;
    void Execute() override;
    void GatherEntities() override {}
    void DrawStatsText() override;

    miResources::PlatformHUDOverlay hud;
    int32_t lineCount = 0;
};

// The figures the statistics text reads this frame.
miCadora::StatsInputs GatherStatsInputs();
// The shadow-map view's hotkey action; steps the demo state's debugTextureIndex.
void ToggleDebugTexture();
// Hands the statistics view's factory to the demo's view list (before the renderer's CreateViews()).
void RegisterDebugView();

} // namespace miRender
