// The options menu's render view and the drawing of a widget's sprite batch.
#pragma once

#include "gui/optionsmenu.h"
#include "render/renderer.h"

namespace miGui
{

// The device side installs the copy of a batch's vertices into its dynamic buffer's memory,
// read when the recording is replayed.
using BatchUploader = void (*)(int32_t bufferId, const void* vertices, uint32_t bytes);
void SetBatchUploader(BatchUploader uploader);

// Material "sprite" (loaded when absent) with the sheet's texture; records the batch's quads.
// False when there is nothing to draw or no material or buffer to draw with.
bool DrawBatch(SpriteBatch& batch, miRender::PlatformDevicePipe& pipe);

} // namespace miGui

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
    // Called every executed frame with the menu, so its values reach their readers.
    void (*publish)(const miGui::OptionsMenu& menu) = nullptr;
    // Widgets drawn in the last Execute(), in order (tests).
    int32_t drawnCount = 0;
};

} // namespace miRender
