// The camera path reader on arbitrary files: every key it keeps must be finite and in time
// order, and sampling anywhere along it must give a finite pose.
#include "camerapath.h"
#include "core/utils.h"
#include "support/fuzz_common.h"

#include <cmath>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mirel::SetAssertEcho(false);
    const char* file = FuzzWriteInput(data, size);
    miCadora::CameraPath path;
    path.Load(file);
    std::remove(file);
    for (int i = 0; i < path.Count(); ++i)
    {
        for (float v : path.Key(i).values)
            if (!std::isfinite(v)) __builtin_trap();
        if (i > 0 && path.Key(i).Time() < path.Key(i - 1).Time()) __builtin_trap();
    }
    if (path.Count() == 0) return 0;
    const float start = path.StartTime(), span = path.EndTime() - start;
    for (int s = -2; s <= 18; ++s)
    {
        const float t = start + span * static_cast<float>(s) / 16.0f;
        mirel::Vec3 pos, rot;
        if (!path.Sample(t, pos, rot)) __builtin_trap();
        // Positions far apart can overflow between keys; only a finite path must stay finite.
        const bool finiteRot = std::isfinite(rot.x) && std::isfinite(rot.y) && std::isfinite(rot.z);
        if (std::isfinite(span) && std::fabs(span) < 1e30f && !finiteRot) __builtin_trap();
        // A clock past the float range (keys near it, tripled here) has no place on the loop.
        const float clock = t * 3.0f;
        if (std::isfinite(clock) && std::isfinite(span) && !std::isfinite(path.LoopTime(clock)))
            __builtin_trap();
    }
    return 0;
}
