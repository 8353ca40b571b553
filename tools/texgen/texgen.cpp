// Writes the scene's textures as uncompressed RGBA DDS files: the ground's grass texture with its
// whole mip chain and the sky's six-face cube. Integer hashing and plain arithmetic only, so a
// rebuild reproduces the committed files byte for byte.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{

struct Rgba
{
    float r, g, b, a;
};

using Level = std::vector<Rgba>;

uint32_t Hash(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h =
        static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}

float Unit(uint32_t h)
{
    return static_cast<float>(h & 0xFFFFu) / 65535.0f;
}

float Smooth(float t)
{
    return t * t * (3.0f - 2.0f * t);
}

// Value noise on a lattice of `period` cells that wraps, so the texture tiles.
float TiledNoise(float x, float y, int32_t period, uint32_t seed)
{
    const int32_t x0 = static_cast<int32_t>(std::floor(x)), y0 = static_cast<int32_t>(std::floor(y));
    const float fx = Smooth(x - static_cast<float>(x0)), fy = Smooth(y - static_cast<float>(y0));
    auto at = [&](int32_t ix, int32_t iy)
    { return Unit(Hash(((ix % period) + period) % period, ((iy % period) + period) % period, seed)); };
    const float a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

float Mix(float a, float b, float t)
{
    return a + (b - a) * t;
}

float Clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

Level Ground(uint32_t size)
{
    Level img(size * size);
    const Rgba dark{0.19f, 0.31f, 0.11f, 1.0f}, light{0.42f, 0.56f, 0.22f, 1.0f},
        earth{0.40f, 0.33f, 0.20f, 1.0f};
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x)
        {
            const float u = static_cast<float>(x) / static_cast<float>(size);
            const float v = static_cast<float>(y) / static_cast<float>(size);
            const float broad = TiledNoise(u * 8.0f, v * 8.0f, 8, 1u);
            const float fine = TiledNoise(u * 64.0f, v * 64.0f, 64, 2u);
            const float patches = TiledNoise(u * 4.0f, v * 4.0f, 4, 3u);
            const float t = Clamp01(broad * 0.6f + fine * 0.4f);
            // Blades of grass: single brighter texels scattered by the hash.
            const float blade =
                (Hash(static_cast<int32_t>(x), static_cast<int32_t>(y), 4u) & 15u) == 0 ? 0.08f : 0.0f;
            const float bare = Clamp01((patches - 0.72f) * 5.0f);
            Rgba& p = img[y * size + x];
            p.r = Mix(Mix(dark.r, light.r, t), earth.r, bare) + blade;
            p.g = Mix(Mix(dark.g, light.g, t), earth.g, bare) + blade;
            p.b = Mix(Mix(dark.b, light.b, t), earth.b, bare);
            p.a = 1.0f;
        }
    return img;
}

// Direction through texel (x, y) of a cube face, in the face order +X, -X, +Y, -Y, +Z, -Z.
void FaceDirection(uint32_t face, uint32_t x, uint32_t y, uint32_t size, float d[3])
{
    const float s = (static_cast<float>(x) + 0.5f) / static_cast<float>(size) * 2.0f - 1.0f;
    const float t = (static_cast<float>(y) + 0.5f) / static_cast<float>(size) * 2.0f - 1.0f;
    const float table[6][3] = {{1, -t, -s}, {-1, -t, s}, {s, 1, t}, {s, -1, -t}, {s, -t, 1}, {-s, -t, -1}};
    const float len = std::sqrt(table[face][0] * table[face][0] + table[face][1] * table[face][1] +
                                table[face][2] * table[face][2]);
    for (int i = 0; i < 3; ++i)
        d[i] = table[face][i] / len;
}

Level SkyFace(uint32_t face, uint32_t size)
{
    Level img(size * size);
    const Rgba zenith{0.20f, 0.40f, 0.78f, 1.0f}, horizon{0.66f, 0.74f, 0.84f, 1.0f},
        below{0.34f, 0.38f, 0.40f, 1.0f};
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x)
        {
            float d[3];
            FaceDirection(face, x, y, size, d);
            Rgba& p = img[y * size + x];
            if (d[1] < 0.0f)
            {
                const float t = Clamp01(-d[1] * 4.0f);
                p = {Mix(horizon.r, below.r, t), Mix(horizon.g, below.g, t), Mix(horizon.b, below.b, t),
                     1.0f};
                continue;
            }
            // Height above the horizon, bent so the blue deepens quickly above it.
            const float h = 1.0f - (1.0f - d[1]) * (1.0f - d[1]);
            p = {Mix(horizon.r, zenith.r, h), Mix(horizon.g, zenith.g, h), Mix(horizon.b, zenith.b, h), 1.0f};
            // Thin clouds projected onto a plane above the camera, fading toward the horizon.
            const float px = d[0] / (d[1] + 0.15f) * 3.0f, pz = d[2] / (d[1] + 0.15f) * 3.0f;
            const float n = TiledNoise(px + 64.0f, pz + 64.0f, 1 << 20, 7u) * 0.65f +
                            TiledNoise(px * 3.0f + 64.0f, pz * 3.0f + 64.0f, 1 << 20, 8u) * 0.35f;
            const float cloud = Clamp01((n - 0.55f) * 3.0f) * Clamp01(d[1] * 3.0f) * 0.7f;
            p.r = Mix(p.r, 0.95f, cloud);
            p.g = Mix(p.g, 0.95f, cloud);
            p.b = Mix(p.b, 0.97f, cloud);
        }
    return img;
}

Level HalfSize(const Level& src, uint32_t size)
{
    const uint32_t half = size / 2;
    Level dst(half * half);
    for (uint32_t y = 0; y < half; ++y)
        for (uint32_t x = 0; x < half; ++x)
        {
            const Rgba* a = &src[(2 * y) * size + 2 * x];
            const Rgba* b = &src[(2 * y + 1) * size + 2 * x];
            dst[y * half + x] = {
                (a[0].r + a[1].r + b[0].r + b[1].r) * 0.25f, (a[0].g + a[1].g + b[0].g + b[1].g) * 0.25f,
                (a[0].b + a[1].b + b[0].b + b[1].b) * 0.25f, (a[0].a + a[1].a + b[0].a + b[1].a) * 0.25f};
        }
    return dst;
}

uint8_t Byte(float v)
{
    return static_cast<uint8_t>(Clamp01(v) * 255.0f + 0.5f);
}

void Put(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    std::memcpy(out.data() + at, &v, 4);
}

std::vector<uint8_t> Header(uint32_t size, uint32_t mips, bool cube)
{
    std::vector<uint8_t> h(128, 0);
    Put(h, 0, 0x20534444u); // "DDS "
    Put(h, 4, 124);
    Put(h, 8, 0x1u | 0x2u | 0x4u | 0x8u | 0x1000u | 0x20000u); // caps, height, width, pitch, format, mips
    Put(h, 12, size);
    Put(h, 16, size);
    Put(h, 20, size * 4);
    Put(h, 28, mips);
    Put(h, 76, 32);
    Put(h, 80, 0x41u); // RGB with alpha
    Put(h, 88, 32);
    Put(h, 92, 0x000000FFu);
    Put(h, 96, 0x0000FF00u);
    Put(h, 100, 0x00FF0000u);
    Put(h, 104, 0xFF000000u);
    Put(h, 108, 0x1000u | 0x400000u | 0x8u); // texture, mipmap, complex
    if (cube) Put(h, 112, 0x200u | 0xFC00u); // cube map with all six faces
    return h;
}

// Appends a level and its whole chain down to 1 x 1.
void AppendChain(std::vector<uint8_t>& out, Level level, uint32_t size)
{
    for (;;)
    {
        for (const Rgba& p : level)
            out.insert(out.end(), {Byte(p.r), Byte(p.g), Byte(p.b), Byte(p.a)});
        if (size == 1) break;
        level = HalfSize(level, size);
        size /= 2;
    }
}

uint32_t MipCount(uint32_t size)
{
    uint32_t n = 1;
    while (size > 1)
        size /= 2, ++n;
    return n;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: texgen OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    constexpr uint32_t kGroundSize = 256, kSkySize = 64;

    std::vector<uint8_t> ground = Header(kGroundSize, MipCount(kGroundSize), false);
    AppendChain(ground, Ground(kGroundSize), kGroundSize);

    std::vector<uint8_t> sky = Header(kSkySize, MipCount(kSkySize), true);
    for (uint32_t face = 0; face < 6; ++face)
        AppendChain(sky, SkyFace(face, kSkySize), kSkySize);

    const bool ok = Write(dir + "/ground.dds", ground) && Write(dir + "/skycube.dds", sky);
    if (!ok) std::fprintf(stderr, "texgen: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
