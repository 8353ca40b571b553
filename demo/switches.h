// The demo renderer's hotkeys; the switches they flip (showStats, snappyVisible) are demo state.
#pragma once

namespace miCadora
{

// The demo renderer's hotkeys: control+2, +3, +4 (frame timer), +6 (present timer), +8 (update timer).
void RegisterRendererHotkeys();

} // namespace miCadora
