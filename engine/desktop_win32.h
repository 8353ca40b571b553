#pragma once

#include "settle.h"

namespace mirel
{
// Screen size from the system metrics and the active path's mode from the display configuration;
// also writes render_desktop.resolutionX/Y.
DesktopMode QueryDesktopMode();
} // namespace mirel
