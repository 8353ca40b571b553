#include "settle.h"

#include "core/props.h"

#include <algorithm>

namespace mirel
{

bool SettleDisplaySettings(const DesktopMode& mode, float detectedRefreshHz)
{
    int width = mode.screenWidth;
    int height = mode.screenHeight;
    if (IsPropertyTrue("debug.hotkey")) g_debugHotkeysEnabled = true;
    if (const float* cap = static_cast<const float*>(FindProperty("render_init.max_resolution_X", false)))
        width = std::min(static_cast<int>(cap[0]), width);
    if (const float* cap = static_cast<const float*>(FindProperty("render_init.max_resolution_Y", false)))
        height = std::min(static_cast<int>(cap[0]), height);
    SetPropertyFloat("render_init.resolutionX", static_cast<float>(width));
    SetPropertyFloat("render_init.resolutionY", static_cast<float>(height));
    if (mode.interlaced) return false;
    if (mode.refreshHz > 0)
        SetPropertyFloat("render_init.monitorRefresh", mode.refreshHz);
    else if (detectedRefreshHz > 0)
        SetPropertyFloat("render_init.monitorRefresh", detectedRefreshHz);
    return true;
}

} // namespace mirel
