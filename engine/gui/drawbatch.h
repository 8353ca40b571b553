// Drawing a widget's sprite batch through a render view's device pipe.
#pragma once

#include "gui/widgets.h"
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
