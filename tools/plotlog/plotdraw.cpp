#include "plotdraw.h"

#include "pngwrite.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
        img.Set(static_cast<int32_t>(std::lround(x0 + (x1 - x0) * t)),
                static_cast<int32_t>(std::lround(y0 + (y1 - y0) * t)), c);
    }
}

} // namespace

void Image::Set(int32_t x, int32_t y, const uint8_t c[3])
{
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::memcpy(&rgb[(static_cast<size_t>(y) * width + x) * 3], c, 3);
}

std::vector<uint8_t> EncodePng(const Image& img)
{
    return pngwrite::Encode(img.rgb.data(), img.width, img.height, pngwrite::Format::Rgb);
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
    auto yMs = [&](float ms)
    {
        const float v = std::clamp(ms / maxMs, 0.0f, 1.0f);
        return static_cast<int32_t>(std::lround(msBottom - v * (msBottom - msTop)));
    };
    auto yThreads = [&](int32_t t)
    {
        const float v = std::clamp(static_cast<float>(t) / static_cast<float>(maxThreads), 0.0f, 1.0f);
        return static_cast<int32_t>(std::lround(thBottom - v * (thBottom - thTop)));
    };
    for (float ms = 5.0f; ms < maxMs; ms += 5.0f)
        Line(img, left, yMs(ms), right, yMs(ms), kGrid);
    Line(img, left, msBottom, right, msBottom, kAxis);
    Line(img, left, thBottom, right, thBottom, kAxis);
    Line(img, left, msTop, left, msBottom, kAxis);
    Line(img, left, thTop, left, thBottom, kAxis);
    const size_t n = samples.size();
    auto x = [&](size_t i)
    {
        return n < 2 ? left
                     : left + static_cast<int32_t>((right - left) * static_cast<double>(i) /
                                                   static_cast<double>(n - 1));
    };
    for (size_t i = 1; i < n; ++i)
    {
        Line(img, x(i - 1), yMs(samples[i - 1].currentMs), x(i), yMs(samples[i].currentMs), kMeasuredColour);
        Line(img, x(i - 1), yThreads(samples[i - 1].threads), x(i), yThreads(samples[i].threads),
             kThreadsColour);
    }
    // The target on top: it is what the measured line is judged against.
    for (size_t i = 1; i < n; ++i)
        Line(img, x(i - 1), yMs(samples[i - 1].targetMs), x(i), yMs(samples[i].targetMs), kTargetColour);
    return img;
}

} // namespace plotlog
