// The demo application: wires the demo's parts into the engine's loop.
#pragma once

#include "demostate.h"

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

    DemoState state;
};

extern CadoraApp g_cadoraApp;

constexpr float kBladeClockRestart = 3600.0f;

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
