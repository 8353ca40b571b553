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

// Scene-build progress, 0 to 1.1; the load screen shows it.
extern float loadProgress;
// Set by the load screen when its fade-in is complete.
extern bool loadStarted;

// One step of the scene build behind the load screen.
void SceneBuildStep();

} // namespace miCadora
