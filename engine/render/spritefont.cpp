#include "render/spritefont.h"

#include "core/utils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace miResources
{

namespace
{

constexpr size_t kGlyphBytes = 32;
// Metrics beyond this are no font's: they only serve to overflow the layout.
constexpr float kMaxMetric = 65536.0f;

class Cursor
{
  public:
    Cursor(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    size_t Left() const { return size_ - at_; }
    bool U32(uint32_t& v)
    {
        if (Left() < 4) return false;
        v = static_cast<uint32_t>(bytes_[at_]) | static_cast<uint32_t>(bytes_[at_ + 1]) << 8 |
            static_cast<uint32_t>(bytes_[at_ + 2]) << 16 | static_cast<uint32_t>(bytes_[at_ + 3]) << 24;
        at_ += 4;
        return true;
    }
    bool I32(int32_t& v)
    {
        uint32_t u;
        if (!U32(u)) return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    bool F32(float& v)
    {
        uint32_t u;
        if (!U32(u)) return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    const uint8_t* Here() const { return bytes_ + at_; }
    void Skip(size_t n) { at_ += n; }

  private:
    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
};

bool SaneMetric(float v)
{
    return std::isfinite(v) && std::fabs(v) <= kMaxMetric;
}

bool Fail(SpriteFontData& out, const char* name, int line, const char* reason)
{
    MIREL_ASSERT(false, line, "Sprite font %s: %s", name ? name : "", reason);
    out = SpriteFontData();
    return false;
}

void PutU32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int s = 0; s < 32; s += 8)
        v.push_back(static_cast<uint8_t>(x >> s));
}
void PutI32(std::vector<uint8_t>& v, int32_t x)
{
    uint32_t u;
    std::memcpy(&u, &x, 4);
    PutU32(v, u);
}
void PutF32(std::vector<uint8_t>& v, float x)
{
    uint32_t u;
    std::memcpy(&u, &x, 4);
    PutU32(v, u);
}

} // namespace

const SpriteGlyph* SpriteFontData::Find(uint32_t c) const
{
    auto less = [](const SpriteGlyph& g, uint32_t ch) { return g.character < ch; };
    auto it = std::lower_bound(glyphs.begin(), glyphs.end(), c, less);
    if (it != glyphs.end() && it->character == c) return &*it;
    if (defaultCharacter == 0 || defaultCharacter == c) return nullptr;
    it = std::lower_bound(glyphs.begin(), glyphs.end(), defaultCharacter, less);
    if (it != glyphs.end() && it->character == defaultCharacter) return &*it;
    return nullptr;
}

bool SpriteFontData::Has(uint32_t c) const
{
    return std::binary_search(glyphs.begin(), glyphs.end(), SpriteGlyph{c, 0, 0, 0, 0, 0, 0, 0},
                              [](const SpriteGlyph& a, const SpriteGlyph& b)
                              { return a.character < b.character; });
}

bool ParseSpriteFont(const uint8_t* bytes, size_t size, SpriteFontData& out, const char* name)
{
    out = SpriteFontData();
    if (!bytes || size < sizeof kSpriteFontMagic + 4) return Fail(out, name, __LINE__, "file too short");
    if (std::memcmp(bytes, kSpriteFontMagic, sizeof kSpriteFontMagic) != 0)
        return Fail(out, name, __LINE__, "not a sprite font");
    Cursor in(bytes, size);
    in.Skip(sizeof kSpriteFontMagic);

    uint32_t count = 0;
    in.U32(count);
    if (count == 0 || count > SpriteFontData::kMaxGlyphs) return Fail(out, name, __LINE__, "bad glyph count");
    if (in.Left() / kGlyphBytes < count) return Fail(out, name, __LINE__, "glyph table truncated");

    SpriteFontData font;
    font.glyphs.resize(count);
    for (uint32_t i = 0; i < count; ++i)
    {
        SpriteGlyph& g = font.glyphs[i];
        in.U32(g.character);
        in.I32(g.left);
        in.I32(g.top);
        in.I32(g.right);
        in.I32(g.bottom);
        in.F32(g.xOffset);
        in.F32(g.yOffset);
        in.F32(g.xAdvance);
        if (i > 0 && g.character <= font.glyphs[i - 1].character)
            return Fail(out, name, __LINE__, "glyphs out of order");
        if (!SaneMetric(g.xOffset) || !SaneMetric(g.yOffset) || !SaneMetric(g.xAdvance))
            return Fail(out, name, __LINE__, "bad glyph metrics");
        if (g.left < 0 || g.top < 0 || g.right < g.left || g.bottom < g.top)
            return Fail(out, name, __LINE__, "bad glyph rectangle");
    }

    uint32_t width = 0, height = 0, format = 0, pitch = 0, pixelBytes = 0;
    if (!in.F32(font.lineSpacing) || !in.U32(font.defaultCharacter) || !in.U32(width) || !in.U32(height) ||
        !in.U32(format) || !in.U32(pitch) || !in.U32(pixelBytes))
        return Fail(out, name, __LINE__, "header truncated");
    if (!SaneMetric(font.lineSpacing) || font.lineSpacing <= 0.0f)
        return Fail(out, name, __LINE__, "bad line spacing");
    if (font.defaultCharacter != 0 && !font.Has(font.defaultCharacter))
        return Fail(out, name, __LINE__, "default character has no glyph");
    if (width == 0 || height == 0 || width > SpriteFontData::kMaxTextureSize ||
        height > SpriteFontData::kMaxTextureSize)
        return Fail(out, name, __LINE__, "bad texture size");
    if (format != kFontAlpha8 && format != kFontRgba8) return Fail(out, name, __LINE__, "bad texture format");
    const uint64_t rowBytes = static_cast<uint64_t>(width) * (format == kFontRgba8 ? 4 : 1);
    if (pitch < rowBytes || pitch > rowBytes + 256) return Fail(out, name, __LINE__, "bad row pitch");
    if (static_cast<uint64_t>(pitch) * height != pixelBytes)
        return Fail(out, name, __LINE__, "pixel size does not match the texture");
    if (in.Left() < pixelBytes) return Fail(out, name, __LINE__, "pixels truncated");
    if (in.Left() > pixelBytes) return Fail(out, name, __LINE__, "unexpected bytes after the pixels");
    for (const SpriteGlyph& g : font.glyphs)
        if (static_cast<uint32_t>(g.right) > width || static_cast<uint32_t>(g.bottom) > height)
            return Fail(out, name, __LINE__, "glyph outside the texture");

    font.width = width;
    font.height = height;
    font.format = format;
    font.pitch = pitch;
    font.pixels.assign(in.Here(), in.Here() + pixelBytes);
    out = std::move(font);
    return true;
}

bool ReadSpriteFont(const char* path, SpriteFontData& out)
{
    out = SpriteFontData();
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return Fail(out, path, __LINE__, "cannot open the file");
    std::vector<uint8_t> bytes;
    uint8_t chunk[16384];
    size_t n;
    // Bounded so that a huge file named by mistake is refused before it is held in memory.
    constexpr size_t kMaxFile =
        16 + 32ull * SpriteFontData::kMaxGlyphs + 40 +
        (4ull * SpriteFontData::kMaxTextureSize + 256) * SpriteFontData::kMaxTextureSize;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    {
        if (bytes.size() + n > kMaxFile)
        {
            std::fclose(f);
            return Fail(out, path, __LINE__, "file too large");
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    std::fclose(f);
    return ParseSpriteFont(bytes.data(), bytes.size(), out, path);
}

std::vector<uint8_t> WriteSpriteFont(const SpriteFontData& font)
{
    std::vector<uint8_t> v(kSpriteFontMagic, kSpriteFontMagic + sizeof kSpriteFontMagic);
    PutU32(v, static_cast<uint32_t>(font.glyphs.size()));
    for (const SpriteGlyph& g : font.glyphs)
    {
        PutU32(v, g.character);
        PutI32(v, g.left);
        PutI32(v, g.top);
        PutI32(v, g.right);
        PutI32(v, g.bottom);
        PutF32(v, g.xOffset);
        PutF32(v, g.yOffset);
        PutF32(v, g.xAdvance);
    }
    PutF32(v, font.lineSpacing);
    PutU32(v, font.defaultCharacter);
    PutU32(v, font.width);
    PutU32(v, font.height);
    PutU32(v, font.format);
    PutU32(v, font.pitch);
    PutU32(v, static_cast<uint32_t>(font.pixels.size()));
    v.insert(v.end(), font.pixels.begin(), font.pixels.end());
    return v;
}

int LayoutLine(const SpriteFontData& font, const char* text, float x, float y, GlyphQuad* out, int capacity,
               float* penX)
{
    int n = 0;
    float pen = x;
    if (text && font.width > 0 && font.height > 0)
    {
        const float iw = 1.0f / static_cast<float>(font.width);
        const float ih = 1.0f / static_cast<float>(font.height);
        for (const char* p = text; *p; ++p)
        {
            const SpriteGlyph* g = font.Find(static_cast<unsigned char>(*p));
            if (!g) continue;
            if (g->right > g->left && g->bottom > g->top)
            {
                if (n >= capacity || !out) break;
                GlyphQuad& q = out[n++];
                q.x0 = pen + g->xOffset;
                q.y0 = y + g->yOffset;
                q.x1 = q.x0 + static_cast<float>(g->right - g->left);
                q.y1 = q.y0 + static_cast<float>(g->bottom - g->top);
                q.u0 = static_cast<float>(g->left) * iw;
                q.v0 = static_cast<float>(g->top) * ih;
                q.u1 = static_cast<float>(g->right) * iw;
                q.v1 = static_cast<float>(g->bottom) * ih;
            }
            pen += g->xAdvance;
        }
    }
    if (penX) *penX = pen;
    return n;
}

} // namespace miResources
