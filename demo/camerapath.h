// The camera path file: one key per line, "time x y z pitch yaw" (seconds, world units, degrees).
#pragma once

#include "core/datastructs.h"
#include "core/mimath.h"

#include <cstdint>

namespace miCadora
{

struct CameraKey
{
    // In file order: time, position x, y, z, rotation about X, rotation about Y.
    float values[6];

    float Time() const { return values[0]; }
    mirel::Vec3 Position() const { return {values[1], values[2], values[3]}; }
    mirel::Vec3 Rotation() const { return {values[4], values[5], 0.0f}; }
};

class CameraPath
{
  public:
    // Appends the keys of a file. Lines that are not six numbers, or whose time runs backwards,
    // are reported and skipped; a file without one good key is reported. False on any report.
    bool Load(const char* path);
    void Clear() { keys.Clear(); }

    int32_t Count() const { return keys.count; }
    const CameraKey& Key(int32_t i) const { return keys.Data()[i]; }
    float StartTime() const { return keys.count ? Key(0).Time() : 0.0f; }
    float EndTime() const { return keys.count ? Key(keys.count - 1).Time() : 0.0f; }

    // The pose at time t: the first key's before it, the last key's after it; a smooth curve
    // through the positions and the shorter way round between angles. False without keys.
    bool Sample(float t, mirel::Vec3& position, mirel::Vec3& rotation) const;
    // Time into the path for a clock that keeps running: the path repeats from its start.
    float LoopTime(float clock) const;

    mirel::DTArray<CameraKey> keys{"cameraKeys"};
};

extern CameraPath g_cameraPath;

// Reads "models/windmill_camera_back_forth.txt" under the asset root into g_cameraPath.
bool LoadCameraPath();

} // namespace miCadora
