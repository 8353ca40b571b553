#include "camerapath.h"

#include "core/utils.h"
#include "scene/camera.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miCadora
{

using mirel::Vec3;

CameraPath g_cameraPath;

namespace
{
// Reports name the application, which reads the path.
constexpr const char* kCadoraFile = "cadora";
constexpr int kFileNotFoundLine = 364;
constexpr int kBadDataLine = 374;

// The tokenizer silently drops characters it does not know (',' or '+' inside a number
// would merge or vanish), so the raw line is checked before its tokens are trusted.
bool OnlyNumberCharacters(const char* line)
{
    for (const char* p = line; *p; ++p)
        if (!mirel::IsSeparator(*p) && !std::strchr("0123456789-.eE", *p)) return false;
    return true;
}

bool ParseNumber(const char* token, float& out)
{
    if (!token || !*token) return false;
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(token, &end);
    if (end == token || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
    out = v;
    return true;
}

Vec3 CatmullRom(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, float u)
{
    const float u2 = u * u, u3 = u2 * u;
    return (p1 * 2.0f + (p2 - p0) * u + (p0 * 2.0f - p1 * 5.0f + p2 * 4.0f - p3) * u2 +
            (p1 * 3.0f - p0 - p2 * 3.0f + p3) * u3) *
           0.5f;
}

float LerpAngle(float a, float b, float u)
{
    return a + miSim::WrapDegrees(b - a) * u;
}
} // namespace

bool CameraPath::Load(const char* path)
{
    mirel::TextParser parser(16, path);
    if (!parser.IsOpen())
    {
        mirel::Assert(false, kCadoraFile, kFileNotFoundLine, "Camera animation data file not found");
        return false;
    }
    const int32_t before = keys.count;
    bool clean = true;
    while (parser.ReadLine())
    {
        CameraKey key{};
        bool good = !parser.lineTooLong && parser.tokenCount == 6 && OnlyNumberCharacters(parser.Line());
        for (int i = 0; good && i < 6; ++i)
            good = ParseNumber(parser.Token(i), key.values[i]);
        // Sampling searches the keys by time, so time must not run backwards.
        if (good && keys.count > 0 && key.Time() < EndTime()) good = false;
        if (!good)
        {
            mirel::Assert(false, kCadoraFile, kBadDataLine, "Bad data in camera animation data");
            clean = false;
            continue;
        }
        keys.Append(key);
    }
    if (clean && keys.count == before)
    {
        mirel::Assert(false, kCadoraFile, kBadDataLine, "Bad data in camera animation data");
        clean = false;
    }
    return clean;
}

bool CameraPath::Sample(float t, Vec3& position, Vec3& rotation) const
{
    const int32_t n = keys.count;
    if (n == 0) return false;
    if (n == 1 || !(t > StartTime()))
    {
        position = Key(0).Position();
        rotation = Key(0).Rotation();
        return true;
    }
    if (t >= EndTime())
    {
        position = Key(n - 1).Position();
        rotation = Key(n - 1).Rotation();
        return true;
    }
    // Last key at or before t; keys with equal times make a cut to the later one.
    int32_t lo = 0, hi = n - 1;
    while (hi - lo > 1)
    {
        const int32_t mid = (lo + hi) / 2;
        if (Key(mid).Time() <= t)
            lo = mid;
        else
            hi = mid;
    }
    const CameraKey& a = Key(lo);
    const CameraKey& b = Key(hi);
    const float span = b.Time() - a.Time();
    const float u = span > 0.0f ? (t - a.Time()) / span : 1.0f;
    const Vec3 before = Key(lo > 0 ? lo - 1 : lo).Position();
    const Vec3 after = Key(hi + 1 < n ? hi + 1 : hi).Position();
    position = CatmullRom(before, a.Position(), b.Position(), after, u);
    rotation = {LerpAngle(a.values[4], b.values[4], u), LerpAngle(a.values[5], b.values[5], u), 0.0f};
    return true;
}

float CameraPath::LoopTime(float clock) const
{
    const float length = EndTime() - StartTime();
    if (!(length > 0.0f)) return StartTime();
    float r = std::fmod(clock, length);
    if (r < 0.0f) r += length;
    return StartTime() + r;
}

bool LoadCameraPath()
{
    char path[512];
    std::snprintf(path, sizeof path, "%s/%s/%s", mirel::GetAssetRoot(), "models",
                  "windmill_camera_back_forth.txt");
    return g_cameraPath.Load(path);
}

} // namespace miCadora
