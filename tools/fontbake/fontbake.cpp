// Bakes the printable ASCII glyphs of a TrueType face into a sprite font with an 8-bit coverage
// atlas. Output depends only on the face and the FreeType version, so it can be checked in.
#include "render/spritefont.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <vector>

namespace
{

// Ascender plus descender of the face stay within the overlay's 22-pixel line pitch, and the
// longest statistics line fits the 350 pixels the overlay leaves it at the right edge.
constexpr int kPixelSize = 14;
constexpr uint32_t kFirst = 32, kLast = 126;
constexpr uint32_t kAtlasWidth = 256;
constexpr int kPad = 1; // keeps bilinear taps from bleeding into the neighbour

struct Bitmap
{
    uint32_t character;
    int w, h, left, top;
    float advance;
    std::vector<uint8_t> cover;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: fontbake FACE.ttf OUT.spritefont\n");
        return 2;
    }
    FT_Library lib;
    FT_Face face;
    if (FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[1], 0, &face) ||
        FT_Set_Pixel_Sizes(face, 0, kPixelSize))
    {
        std::fprintf(stderr, "fontbake: cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<Bitmap> bitmaps;
    for (uint32_t c = kFirst; c <= kLast; ++c)
    {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) ||
            face->glyph->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
        {
            std::fprintf(stderr, "fontbake: no glyph for %u\n", c);
            return 1;
        }
        const FT_GlyphSlot g = face->glyph;
        Bitmap b{c,
                 static_cast<int>(g->bitmap.width),
                 static_cast<int>(g->bitmap.rows),
                 g->bitmap_left,
                 g->bitmap_top,
                 static_cast<float>(g->advance.x) / 64.0f,
                 {}};
        for (int y = 0; y < b.h; ++y)
            for (int x = 0; x < b.w; ++x)
                b.cover.push_back(g->bitmap.buffer[y * g->bitmap.pitch + x]);
        bitmaps.push_back(std::move(b));
    }

    miResources::SpriteFontData font;
    const float ascender = std::round(static_cast<float>(face->size->metrics.ascender) / 64.0f);
    font.lineSpacing = std::ceil(static_cast<float>(face->size->metrics.height) / 64.0f);
    font.defaultCharacter = '?';
    font.format = miResources::kFontAlpha8;
    font.width = font.pitch = kAtlasWidth;

    // Shelf packing in character order.
    int x = kPad, y = kPad, shelf = 0;
    std::vector<int> at(bitmaps.size() * 2);
    for (size_t i = 0; i < bitmaps.size(); ++i)
    {
        const Bitmap& b = bitmaps[i];
        if (x + b.w + kPad > static_cast<int>(kAtlasWidth))
        {
            x = kPad;
            y += shelf + kPad;
            shelf = 0;
        }
        at[2 * i] = x;
        at[2 * i + 1] = y;
        x += b.w + kPad;
        if (b.h > shelf) shelf = b.h;
    }
    uint32_t height = 1;
    while (height < static_cast<uint32_t>(y + shelf + kPad))
        height *= 2;
    font.height = height;
    font.pixels.assign(static_cast<size_t>(font.pitch) * height, 0);
    for (size_t i = 0; i < bitmaps.size(); ++i)
    {
        const Bitmap& b = bitmaps[i];
        const int ax = at[2 * i], ay = at[2 * i + 1];
        for (int r = 0; r < b.h; ++r)
            for (int c = 0; c < b.w; ++c)
                font.pixels[static_cast<size_t>(ay + r) * font.pitch + ax + c] = b.cover[r * b.w + c];
        font.glyphs.push_back({b.character, ax, ay, ax + b.w, ay + b.h, static_cast<float>(b.left),
                               ascender - static_cast<float>(b.top), b.advance});
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);

    const std::vector<uint8_t> bytes = miResources::WriteSpriteFont(font);
    miResources::SpriteFontData check;
    if (!miResources::ParseSpriteFont(bytes.data(), bytes.size(), check, argv[2])) return 1;
    std::FILE* f = std::fopen(argv[2], "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
    {
        std::fprintf(stderr, "fontbake: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("fontbake: %zu glyphs, %ux%u atlas, line spacing %.0f\n", font.glyphs.size(), font.width,
                font.height, font.lineSpacing);
    return 0;
}
