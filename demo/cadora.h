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

// The device's vertical-sync flag; whoever owns the device installs where it lives.
void SetVerticalSyncTarget(bool* flag);

// One step of the scene build behind the load screen.
void SceneBuildStep();
// Hotkey M: the blade, ground and sky materials from their files again.
void ReloadMaterials();
// The blades' turn and the hourly restart, for one frame of dt seconds.
void TurnBlades(float dt);

// Back to the state before Load, for a second run in one process (tests).
void ResetDemoState();

} // namespace miCadora
