// The demo application: wires the demo's parts into the engine's loop.
#pragma once

#include "mainloop.h"

namespace miCadora
{

class CadoraApp : public mirel::MirelApp
{
  public:
    void Init() override;
    void Load() override;
    void Shutdown() override;
    void Update() override;
};

extern CadoraApp g_cadoraApp;

// Degrees per second, recomputed every frame from the options menu's slider.
extern float bladeSpeed;
// Frame time summed since the last restart, seconds; restarts after an hour.
extern float bladeClock;
// Scene-build progress, 0 to 1.1; the load screen shows it.
extern float loadProgress;
// Set by the load screen when its fade-in is complete.
extern bool loadStarted;

constexpr float kBladeClockRestart = 3600.0f;

// What the options menu hands the application each frame; the menu's callbacks write it.
struct MenuValues
{
    // The blade-speed slider runs 0.3 to 1.0.
    float bladeSlider = 0.65f;
    bool verticalSync = false;
};
extern MenuValues g_menuValues;

// The program's parts the application drives. The entry point installs them; without them
// (tests) the application runs its own logic alone.
struct DemoParts
{
    // Init: the demo renderer, the overlay and statistics views, the load controller.
    void (*init)() = nullptr;
    // Load: the load controller's settings.
    void (*load)() = nullptr;
    // Shutdown: the load controller's log.
    void (*shutdown)() = nullptr;
    void (*readMenu)(MenuValues& values) = nullptr;
    void (*setVerticalSync)(bool on) = nullptr;
    // After each update step once loaded (automated runs trace the demo's state there).
    void (*afterUpdate)() = nullptr;
    // A load screen sets loadStarted and the loading-done flag through its fades; without one
    // the build starts at once and the scene counts as ready when the build has run.
    bool loadScreen = false;
};
void SetDemoParts(const DemoParts& parts);

// One step of the scene build behind the load screen.
void SceneBuildStep();
// Hotkey M: the blade, ground and sky materials from their files again.
void ReloadMaterials();
// The blades' turn and the hourly restart, for one frame of dt seconds.
void TurnBlades(float dt);

// Back to the state before Load, for a second run in one process (tests).
void ResetDemoState();

} // namespace miCadora
