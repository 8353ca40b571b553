#include "desktop_win32.h"

#include "core/props.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

namespace mirel
{

DesktopMode QueryDesktopMode()
{
    DesktopMode mode;
    mode.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    mode.screenHeight = GetSystemMetrics(SM_CYSCREEN);

    UINT32 pathCount = 512, modeCount = 512;
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(modeCount);
    if (QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &pathCount, paths.data(), &modeCount, modes.data(),
                           nullptr) != ERROR_SUCCESS ||
        pathCount == 0)
        return mode;
    for (UINT32 i = 0; i < pathCount && i < paths.size(); ++i)
    {
        const DISPLAYCONFIG_PATH_INFO& p = paths[i];
        if (!p.targetInfo.targetAvailable || !(p.flags & DISPLAYCONFIG_PATH_ACTIVE)) continue;
        const auto order = p.targetInfo.scanLineOrdering;
        float factor = 1.0f;
        if (order == DISPLAYCONFIG_SCANLINE_ORDERING_INTERLACED ||
            order == DISPLAYCONFIG_SCANLINE_ORDERING_INTERLACED_LOWERFIELDFIRST)
        {
            factor = 0.5f;
            mode.interlaced = true;
        }
        const UINT32 src = p.sourceInfo.modeInfoIdx;
        if (src < modeCount && modes[src].infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE)
        {
            SetPropertyFloat("render_desktop.resolutionX", static_cast<float>(modes[src].sourceMode.width));
            SetPropertyFloat("render_desktop.resolutionY", static_cast<float>(modes[src].sourceMode.height));
        }
        const DISPLAYCONFIG_RATIONAL r = p.targetInfo.refreshRate;
        if (r.Denominator != 0) mode.refreshHz = static_cast<float>(r.Numerator) / r.Denominator * factor;
        break;
    }
    return mode;
}

} // namespace mirel
