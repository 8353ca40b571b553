// Draws target against measured frame time and the group count, frame by frame, into an RGB
// image written as PNG.
#pragma once

#include "plotlog.h"

#include <cstdint>
#include <vector>

namespace plotlog
{

struct Image
{
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgb; // width x height x 3, top row first

    Image(int32_t w, int32_t h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, 255) {}
    void Set(int32_t x, int32_t y, const uint8_t c[3]);
    const uint8_t* At(int32_t x, int32_t y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// The PNG file's bytes; empty when the image has no pixels.
std::vector<uint8_t> EncodePng(const Image& image);

// Colours of the plot.
extern const uint8_t kTargetColour[3];
extern const uint8_t kMeasuredColour[3];
extern const uint8_t kThreadsColour[3];

// Top two thirds: frame times (0 to the largest, grid every 5 ms); bottom third: group count.
Image Plot(const std::vector<Sample>& samples, int32_t width, int32_t height);

} // namespace plotlog
