// The options menu's render view.
#pragma once

#include "optionsmenu.h"
#include "render/renderer.h"

namespace miRender
{

class Gui_RV : public RenderView
{
  public:
    explicit Gui_RV(const char* viewName) : RenderView(viewName) {}
    void Init() override;
    // Lays the menu out and records and replays its draws (the widgets live on this side).
    void Execute() override;
    void Shutdown() override;

    // Set before Init(): what the menu is built from.
    miGui::MenuEnv env;
    // Widgets drawn in the last Execute(), in order (tests).
    int32_t drawnCount = 0;
};

} // namespace miRender
