// The Direct3D 11 frame back end: what the main loop drives below the engine (device, renderer,
// constants, GPU timing, compute contexts, presentation and the object managers).
#pragma once

#include "mainloop.h"

namespace miRender
{

// Installs the back end with SetFrameBackend; call once before mirel::Start.
void InstallDx11FrameBackend();
mirel::FrameBackend& Dx11FrameBackend();

// The application's GPU-timing switch (on unless the application turns it off before start-up).
void SetGpuQueryEnabled(bool enabled);

// Rebuilds the size-dependent targets at the size the settings ask for, now; the loop's resize
// rebuild, also for tests that drive frames themselves.
void ApplyPendingRebuild();

} // namespace miRender
