// The demo's mutable state in one place: the application owns it, the menu, the hotkeys, the
// overlays and the load controller read and write its fields.
#pragma once

#include "animation.h"

#include <cstdint>

namespace miCadora
{

struct DemoState
{
    // Blades. bladeSpeed is degrees per second, recomputed every frame from bladeSlider;
    // bladeClock is the frame time summed since the last restart (restarts after an hour).
    float bladeSpeed = 50.0f;
    float bladeClock = 0.0f;
    // The animation-speed slider (0.3 to 1.0) and the vertical-sync box, written by the menu's
    // widgets as they change, so that the update step sees them as the user leaves them.
    float bladeSlider = 0.65f;
    bool verticalSync = false;

    // Scene-build progress, 0 to 1.1; the load screen shows it.
    float loadProgress = 0.0f;
    // Set by the load screen when its fade-in is complete.
    bool loadStarted = false;

    // Read at application start from "cadora.useGPUQuery" and "cadora.variable_fps_freq".
    bool useGpuQuery = false;
    float variableFpsFreq = 0.1f;
    // The control step's inputs the menu owns, stored by the menu at the end of each of its
    // executed frames (the pinned rate of unattended runs overrides them where they are read).
    float targetFps = 50.0f;
    float sweepSwitch = 0.0f;
    float sweepLowFps = 45.0f;
    float sweepHighFps = 60.0f;
    bool sweepToSliderMax = false;
    float fpsSliderMax = 60.0f;
    // "debug.showDebugGui" is "true": the fps slider is free and the choices are ignored.
    bool debugGui = false;
    // The display can follow the frame rate (set when the menu is built).
    bool cadoraCapable = false;

    // Statistics text shown (control+2, debug hotkeys only).
    bool showStats = false;
    // Frame-time graph shown once loading is over (control+3, debug hotkeys only).
    bool snappyVisible = false;
    // Follows the menu's red-bar box; the red bar view fades by it.
    bool redbarVisible = false;

    // Shared by the load screen (0 -> 1 fade-in, then 4 -> 0 fade-out) and afterwards the red bar.
    float fade = 0.0f;
    // The red bar's horizontal phase, 0 to 1.2.
    float barPosition = 0.0f;
    // Vertices in the shared debug-line list (DebugLines()).
    int32_t debugLineCount = 0;

    int32_t cameraMode = kCameraFree;
    OrbitState orbit;
    // Seconds of frame time spent in the path mode.
    float pathClock = 0.0f;

    // "lineDrawBuffer", the device side of the debug-line list; -1 before the statistics view has it.
    int32_t lineDrawBufferId = -1;
    // -1: the overlay material shows what it loaded with; 0: the first shadow cascade.
    int32_t debugTextureIndex = -1;
};

// The application's instance (g_cadoraApp's).
DemoState& State();

} // namespace miCadora
