// 8-bit PNG files through libpng, with bytes that depend on the pixels alone: the committed
// assets are compared byte for byte with what their generators write.
#pragma once

#include <cstdint>
#include <vector>

namespace pngwrite
{

enum class Format
{
    Rgb,  // 3 bytes a pixel
    Rgba, // 4 bytes a pixel, straight alpha
};

// Rows top first, tightly packed. Empty when libpng refuses the image (a zero size, say).
std::vector<uint8_t> Encode(const uint8_t* pixels, int32_t width, int32_t height, Format format);

} // namespace pngwrite
