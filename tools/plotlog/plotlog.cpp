#include "plotlog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace plotlog
{

const uint8_t kTargetColour[3] = {20, 150, 40};
const uint8_t kMeasuredColour[3] = {210, 30, 30};
const uint8_t kThreadsColour[3] = {30, 60, 200};

namespace
{

const uint8_t kGrid[3] = {225, 225, 225};
const uint8_t kAxis[3] = {0, 0, 0};

void Line(Image& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const uint8_t c[3])
{
    const int32_t steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int32_t i = 0; i <= steps; ++i)
    {
        const float t = steps ? static_cast<float>(i) / static_cast<float>(steps) : 0.0f;
        img.Set(static_cast<int32_t>(std::lround(x0 + (x1 - x0) * t)), static_cast<int32_t>(std::lround(y0 + (y1 - y0) * t)),
                c);
    }
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data)
{
    Put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, Crc32(&out[start], out.size() - start));
}

} // namespace

void Image::Set(int32_t x, int32_t y, const uint8_t c[3])
{
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::memcpy(&rgb[(static_cast<size_t>(y) * width + x) * 3], c, 3);
}

bool ParseLine(const char* line, Sample& out)
{
    if (line[0] == '[')
    {
        const char* end = std::strchr(line, ']');
        if (!end) return false;
        line = end + 1;
    }
    Sample s{};
    char tail = 0;
    const int n = std::sscanf(line, "TargetMs: %f, CurrentMs: %f, ComputeThreads: %d, AddedThreads: %d%c", &s.targetMs,
                              &s.currentMs, &s.threads, &s.added, &tail);
    if (n < 4 || (n == 5 && tail != '\n' && tail != '\r')) return false;
    if (!std::isfinite(s.targetMs) || !std::isfinite(s.currentMs)) return false;
    out = s;
    return true;
}

std::vector<Sample> ParseLog(const std::string& text)
{
    std::vector<Sample> samples;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
    {
        Sample s;
        if (ParseLine(line.c_str(), s)) samples.push_back(s);
    }
    return samples;
}

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready)
    {
        for (uint32_t i = 0; i < 256; ++i)
        {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Adler32(const uint8_t* data, size_t n)
{
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < n; ++i)
    {
        a = (a + data[i]) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

std::vector<uint8_t> EncodePng(const Image& img)
{
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(img.height) * (img.width * 3 + 1));
    for (int32_t y = 0; y < img.height; ++y)
    {
        raw.push_back(0); // no filter
        raw.insert(raw.end(), img.At(0, y), img.At(0, y) + img.width * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t at = 0;
    do
    {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        const bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    Put32(z, Adler32(raw.data(), raw.size()));

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    Put32(ihdr, static_cast<uint32_t>(img.width));
    Put32(ihdr, static_cast<uint32_t>(img.height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, deflate, adaptive filters, no interlace
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

Image Plot(const std::vector<Sample>& samples, int32_t width, int32_t height)
{
    Image img(width, height);
    const int32_t margin = 10;
    const int32_t split = height * 2 / 3;
    const int32_t left = margin, right = width - margin;
    const int32_t msTop = margin, msBottom = split - margin;
    const int32_t thTop = split + margin, thBottom = height - margin;
    float maxMs = 5.0f;
    int32_t maxThreads = 1;
    for (const Sample& s : samples)
    {
        maxMs = std::max({maxMs, s.targetMs, s.currentMs});
        maxThreads = std::max(maxThreads, s.threads);
    }
    maxMs = std::min(std::ceil(maxMs / 5.0f) * 5.0f, 1000.0f);
    auto yMs = [&](float ms) {
        const float v = std::clamp(ms / maxMs, 0.0f, 1.0f);
        return static_cast<int32_t>(std::lround(msBottom - v * (msBottom - msTop)));
    };
    auto yThreads = [&](int32_t t) {
        const float v = std::clamp(static_cast<float>(t) / static_cast<float>(maxThreads), 0.0f, 1.0f);
        return static_cast<int32_t>(std::lround(thBottom - v * (thBottom - thTop)));
    };
    for (float ms = 5.0f; ms < maxMs; ms += 5.0f) Line(img, left, yMs(ms), right, yMs(ms), kGrid);
    Line(img, left, msBottom, right, msBottom, kAxis);
    Line(img, left, thBottom, right, thBottom, kAxis);
    Line(img, left, msTop, left, msBottom, kAxis);
    Line(img, left, thTop, left, thBottom, kAxis);
    const size_t n = samples.size();
    auto x = [&](size_t i) {
        return n < 2 ? left : left + static_cast<int32_t>((right - left) * static_cast<double>(i) / static_cast<double>(n - 1));
    };
    for (size_t i = 1; i < n; ++i)
    {
        Line(img, x(i - 1), yMs(samples[i - 1].currentMs), x(i), yMs(samples[i].currentMs), kMeasuredColour);
        Line(img, x(i - 1), yThreads(samples[i - 1].threads), x(i), yThreads(samples[i].threads), kThreadsColour);
    }
    // The target on top: it is what the measured line is judged against.
    for (size_t i = 1; i < n; ++i)
        Line(img, x(i - 1), yMs(samples[i - 1].targetMs), x(i), yMs(samples[i].targetMs), kTargetColour);
    return img;
}

Tracking Measure(const std::vector<Sample>& samples, float skipSeconds, float toleranceMs)
{
    Tracking t{0, 0.0f, -1.0f};
    std::vector<double> at(samples.size());
    double clock = 0.0;
    for (size_t i = 0; i < samples.size(); ++i) at[i] = clock += samples[i].currentMs / 1000.0;
    int32_t inside = 0;
    for (size_t i = 0; i < samples.size(); ++i)
    {
        if (at[i] <= skipSeconds) continue;
        ++t.frames;
        inside += std::fabs(samples[i].currentMs - samples[i].targetMs) <= toleranceMs;
    }
    t.withinFraction = t.frames ? static_cast<float>(inside) / static_cast<float>(t.frames) : 0.0f;
    // Settled from frame i when every frame of the following second is within the tolerance.
    for (size_t i = 0; i < samples.size() && t.settleSeconds < 0.0f; ++i)
    {
        if (at.back() < at[i] + 1.0) break;
        bool stays = true;
        for (size_t j = i; j < samples.size() && at[j] < at[i] + 1.0 && stays; ++j)
            stays = std::fabs(samples[j].currentMs - samples[j].targetMs) <= toleranceMs;
        if (stays) t.settleSeconds = static_cast<float>(at[i]);
    }
    return t;
}

} // namespace plotlog
