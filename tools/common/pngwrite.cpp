#include "pngwrite.h"

#include <png.h>

#include <csetjmp>

namespace pngwrite
{

namespace
{

void Append(png_structp png, png_bytep data, size_t size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

// Kept apart from the setjmp frame so that nothing it changes can be clobbered by the long jump.
void WriteAll(png_structp png, png_infop info, const uint8_t* pixels, int32_t width, int32_t height,
              Format format)
{
    const bool rgba = format == Format::Rgba;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    // One filter and one level: libpng's adaptive choice and defaults may change between releases.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(width) * (rgba ? 4 : 3);
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, pixels + stride * static_cast<size_t>(y));
    png_write_end(png, nullptr);
}

} // namespace

std::vector<uint8_t> Encode(const uint8_t* pixels, int32_t width, int32_t height, Format format)
{
    std::vector<uint8_t> out;
    if (width <= 0 || height <= 0) return out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return out;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png)))
    {
        png_destroy_write_struct(&png, &info);
        out.clear();
        return out;
    }
    png_set_write_fn(png, &out, Append, nullptr);
    WriteAll(png, info, pixels, width, height, format);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace pngwrite
