// The Direct3D 11 frame back end: what the main loop drives below the engine (device, renderer,
// constants, GPU timing, compute contexts, presentation and the object managers).
#pragma once

#include "mainloop.h"

namespace miRender
{

// Installs the back end with SetFrameBackend; call once before mirel::Start.
void InstallDx11FrameBackend();
mirel::FrameBackend& Dx11FrameBackend();

// The application's GPU-timing switch; read from "cadora.useGPUQuery" at device start-up unless set.
void SetGpuQueryEnabled(bool enabled);

// Applies a pending rebuild now (the loop does this before executing the views); tests use it.
void ApplyPendingRebuild();

} // namespace miRender
