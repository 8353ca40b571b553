// The demo's shared switches, flipped by hotkeys and the options menu, read by the views.
#pragma once

namespace miCadora
{

// Statistics text shown (control+2, debug hotkeys only).
extern bool showStats;
// Frame-time graph shown once loading is over (control+3, debug hotkeys only).
extern bool snappyVisible;

// The demo renderer's hotkeys: control+2, +3, +4 (frame timer), +6 (present timer), +8 (update timer).
void RegisterRendererHotkeys();

} // namespace miCadora
