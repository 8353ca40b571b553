// The overlay views of the demo's list: load screen, red bar, options menu and frame-time graph.
#pragma once

#include "overlays.h"

#include "gui_rv.h"
#include "render/renderer.h"

namespace miRender
{

class LoadScreen_RV : public RenderView
{
  public:
    explicit LoadScreen_RV(const char* viewName) : RenderView(viewName) {}
    void Init() override;
    void Record() override;

  private:
    bool onRedbarTarget_ = false;
};

class Redbar_RV : public RenderView
{
  public:
    explicit Redbar_RV(const char* viewName) : RenderView(viewName) {}
    void Init() override;
    void Record() override;
};

class SnappyOverlay_RV : public RenderView
{
  public:
    explicit SnappyOverlay_RV(const char* viewName) : RenderView(viewName) {}
    void Init() override;
    void Record() override;
    void Execute() override;
    void Shutdown() override;
    // The output size changed: the flat projection is kept (see Init()).
    void OnResize() override;

    miCadora::FrameTimeGraph graph;
    int32_t lineBufferId = -1;

  private:
    bool traced_ = false;
};

// Installs the four factories with the demo renderer (before its CreateViews()).
void RegisterOverlayViews();

} // namespace miRender

namespace miCadora
{

// The device side of the line list: find or create "lineDrawBuffer" over DebugLines(); -1 when
// there is no device.
using LineBufferMaker = int32_t (*)();
void SetLineBufferMaker(LineBufferMaker maker);

// Everything the application calls once in its Init(), before the renderer makes its views:
// the four view factories, the GUI's mouse listeners and, on Windows, the line buffer's maker.
void InstallGuiAndOverlays();
// The Windows build's line-buffer maker.
void InstallGuiDeviceHooks();

// The device's vertical-sync flag, which the menu's box starts from (none: unchecked).
void SetDeviceVsyncReader(bool (*reader)());

} // namespace miCadora
