// Sprite font files: a glyph table over one atlas texture. Portable: the device layer turns the
// atlas into a texture and draws the quads that LayoutLine places.
//
// File layout, little-endian:
//   char[8]  magic "DXTKfont"
//   u32      glyph count, then per glyph (32 bytes):
//              u32 character, i32 left, top, right, bottom (atlas subrect, right/bottom exclusive),
//              f32 xOffset, yOffset (from the pen position, y down), f32 xAdvance
//            glyphs strictly ascending by character
//   f32      line spacing (pixels)
//   u32      default character (0: none)
//   u32      atlas width, height, format (1: 8-bit coverage, 2: RGBA8), row pitch in bytes
//   u32      pixel byte count (= row pitch x height), then the pixels; nothing follows
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace miResources
{

struct SpriteGlyph
{
    uint32_t character;
    int32_t left, top, right, bottom;
    float xOffset, yOffset;
    float xAdvance;
};

enum SpriteFontFormat : uint32_t
{
    kFontAlpha8 = 1,
    kFontRgba8 = 2,
};

struct SpriteFontData
{
    static constexpr uint32_t kMaxGlyphs = 65536;
    static constexpr uint32_t kMaxTextureSize = 8192;

    std::vector<SpriteGlyph> glyphs;
    float lineSpacing = 0.0f;
    uint32_t defaultCharacter = 0;
    uint32_t width = 0, height = 0;
    uint32_t format = kFontAlpha8;
    uint32_t pitch = 0;
    std::vector<uint8_t> pixels;

    // The glyph of c, else the default character's, else null.
    const SpriteGlyph* Find(uint32_t c) const;
    bool Has(uint32_t c) const;
};

constexpr char kSpriteFontMagic[8] = {'D', 'X', 'T', 'K', 'f', 'o', 'n', 't'};

// Validates a whole file image into out. A malformed, truncated or inconsistent image is reported
// ("Sprite font %s: %s" with the given name and the reason) and leaves out empty.
bool ParseSpriteFont(const uint8_t* bytes, size_t size, SpriteFontData& out, const char* name);
bool ReadSpriteFont(const char* path, SpriteFontData& out);
std::vector<uint8_t> WriteSpriteFont(const SpriteFontData& font);

// One glyph's screen rectangle (pixels) and atlas rectangle (normalised).
struct GlyphQuad
{
    float x0, y0, x1, y1;
    float u0, v0, u1, v1;
};

// Places the glyphs of one line of text (bytes taken as Latin-1) with the pen starting at (x, y),
// the top of the line. Characters without a glyph and no default are skipped; '\n' is not
// special. Writes at most capacity quads; returns the number written. Empty glyphs (spaces)
// advance the pen without a quad. Fills *penX with the final pen position when given.
int LayoutLine(const SpriteFontData& font, const char* text, float x, float y, GlyphQuad* out, int capacity,
               float* penX = nullptr);

} // namespace miResources
