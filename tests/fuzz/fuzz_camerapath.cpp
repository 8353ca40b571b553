// The camera path reader on arbitrary files: every key it keeps must be finite and in time
// order, and sampling anywhere along it must give a finite pose.
#include "camerapath.h"
#include "core/utils.h"
#include "support/fuzz_common.h"

#include <cmath>
#include <cstdio>

namespace
{
bool Finite(const mirel::Vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mirel::SetAssertEcho(false);
    const char* path = FuzzWriteInput(data, size);
    miCadora::CameraPath cameraPath;
    cameraPath.Load(path);
    std::remove(path);
    for (int i = 0; i < cameraPath.Count(); ++i)
    {
        for (float v : cameraPath.Key(i).values)
            if (!std::isfinite(v)) __builtin_trap();
        if (i > 0 && cameraPath.Key(i).Time() < cameraPath.Key(i - 1).Time()) __builtin_trap();
    }
    if (cameraPath.Count() == 0) return 0;
    const float start = cameraPath.StartTime(), end = cameraPath.EndTime();
    const float span = end - start;
    for (int s = -2; s <= 18; ++s)
    {
        const float t = start + span * static_cast<float>(s) / 16.0f;
        mirel::Vec3 pos, rot;
        if (!cameraPath.Sample(t, pos, rot)) __builtin_trap();
        // Positions far apart can overflow between keys; only a finite path must stay finite.
        if (std::isfinite(span) && std::fabs(span) < 1e30f && !Finite(rot)) __builtin_trap();
        // A clock past the float range (keys near it, tripled here) has no place on the loop.
        const float clock = t * 3.0f;
        if (std::isfinite(clock) && std::isfinite(span) && !std::isfinite(cameraPath.LoopTime(clock)))
            __builtin_trap();
    }
    return 0;
}
