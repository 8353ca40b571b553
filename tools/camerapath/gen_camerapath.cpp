// Writes the windmill scene's camera path: a flight half way round the windmill and back.
//   gen_camerapath FILE           writes the path to FILE ("-" for standard output)
//   gen_camerapath --check FILE   exits 1 unless FILE holds exactly what would be written
// Each line is "time x y z pitch yaw": seconds, world units, degrees.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{
constexpr double kPi = 3.14159265358979323846;
constexpr double kHub[3] = {7.988, 1051.0, -2.8};
// The camera aims a little under the hub so that the tower stays in the picture.
constexpr double kAimY = 1040.0;
constexpr double kLegSeconds = 20.0;
constexpr double kStep = 0.5;
constexpr double kStartAzimuth = -60.0;
constexpr double kEndAzimuth = 120.0;

std::string Generate()
{
    std::string out;
    const int keysPerLeg = static_cast<int>(kLegSeconds / kStep + 0.5);
    for (int i = 0; i <= 2 * keysPerLeg; ++i)
    {
        const double time = i * kStep;
        // Out and back along the same arc; the cosine easing slows the camera to rest at the
        // turning point and at the start, so the repeat joins without a jerk.
        const int legKey = i <= keysPerLeg ? i : 2 * keysPerLeg - i;
        const double tau = static_cast<double>(legKey) / keysPerLeg;
        const double s = 0.5 - 0.5 * std::cos(kPi * tau);
        const double azimuth = (kStartAzimuth + (kEndAzimuth - kStartAzimuth) * s) * kPi / 180.0;
        const double lift = std::sin(kPi * s);
        const double radius = 72.0 - 18.0 * lift;
        const double eye[3] = {kHub[0] - std::sin(azimuth) * radius, 1022.0 + 24.0 * lift,
                               kHub[2] - std::cos(azimuth) * radius};
        double d[3] = {kHub[0] - eye[0], kAimY - eye[1], kHub[2] - eye[2]};
        const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        for (double& c : d)
            c /= len;
        // A camera looks along its -Z: direction = (-sin(yaw)cos(pitch), sin(pitch), -cos(yaw)cos(pitch)).
        const double pitch = std::asin(d[1]) * 180.0 / kPi;
        const double yaw = std::atan2(-d[0], -d[2]) * 180.0 / kPi;
        char line[160];
        std::snprintf(line, sizeof line, "%.2f %.3f %.3f %.3f %.3f %.3f\n", time, eye[0], eye[1], eye[2],
                      pitch, yaw);
        out += line;
    }
    return out;
}

bool ReadAll(const char* path, std::string& out)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    const std::string path = Generate();
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0)
    {
        std::string existing;
        if (!ReadAll(argv[2], existing))
        {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 1;
        }
        if (existing != path)
        {
            std::fprintf(stderr, "%s differs from the generated path; regenerate it\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: gen_camerapath FILE | --check FILE\n");
        return 2;
    }
    std::FILE* f = std::strcmp(argv[1], "-") == 0 ? stdout : std::fopen(argv[1], "wb");
    if (!f)
    {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::fwrite(path.data(), 1, path.size(), f);
    if (f != stdout) std::fclose(f);
    return 0;
}
