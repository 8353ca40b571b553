// Trace lines of the demo's switches and camera for automated runs (MIREL_TRACE).
#pragma once

namespace miCadora
{

// Once per update step after loading; prints only what changed.
void TraceDemoState();

} // namespace miCadora
