// Drawing a widget's sprite batch through a render view's device pipe.
#pragma once

#include "gui/widgets.h"
#include "render/renderer.h"

namespace miGui
{

// Material "sprite" (loaded when absent) with the sheet's texture; records the batch's quads.
// The vertices are copied into the batch's buffer, read when the recording is replayed. False
// when there is nothing to draw or no material or buffer to draw with.
bool DrawBatch(SpriteBatch& batch, miRender::PlatformDevicePipe& pipe);

} // namespace miGui
