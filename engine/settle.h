// Resolution and refresh settled from the desktop before the window exists.
#pragma once

namespace mirel
{

struct DesktopMode
{
    int screenWidth = 0; // primary screen size
    int screenHeight = 0;
    float refreshHz = 0; // 0 when the display query gives none
    bool interlaced = false;
};

// Applies the caps, the screen size and the refresh fallbacks to the properties.
// Returns false for an interlaced desktop, which the caller refuses to run on.
bool SettleDisplaySettings(const DesktopMode& mode, float detectedRefreshHz);

} // namespace mirel
