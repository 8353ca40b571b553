// Sprite font files: the shipped font, rejection of damaged files, and line layout.
#include "render/spritefont.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

using namespace miResources;

namespace
{

// Two glyphs over a 4x2 atlas: 'A' a 2x2 box, ' ' empty.
SpriteFontData TinyFont()
{
    SpriteFontData f;
    f.glyphs = {{' ', 0, 0, 0, 0, 0.0f, 0.0f, 3.0f}, {'A', 1, 0, 3, 2, 0.5f, 4.0f, 5.0f}};
    f.lineSpacing = 10.0f;
    f.defaultCharacter = ' ';
    f.width = 4;
    f.height = 2;
    f.pitch = 4;
    f.format = kFontAlpha8;
    f.pixels = {0, 255, 255, 0, 0, 255, 255, 0};
    return f;
}

// Overwrites the 4-byte field at at (a uint32_t or a float).
template <typename T> void Set(std::vector<uint8_t>& v, size_t at, T x)
{
    static_assert(sizeof x == 4);
    std::memcpy(v.data() + at, &x, 4);
}

// Offsets in TinyFont's file image.
constexpr size_t kCount = 8, kGlyph0 = 12, kGlyph1 = 44, kTail = 76;
constexpr size_t kLineSpacing = kTail, kDefault = kTail + 4, kWidth = kTail + 8, kHeight = kTail + 12,
                 kFormat = kTail + 16, kPitch = kTail + 20, kPixelBytes = kTail + 24;

TEST(SpriteFont, ShippedFontHoldsPrintableAscii)
{
    SpriteFontData font;
    mirel::test::ReportCapture reports;
    ASSERT_TRUE(ReadSpriteFont(MIREL_SOURCE_ASSETS "/fonts/mirelFont.spritefont", font)) << reports.Last();
    ASSERT_EQ(font.glyphs.size(), 95u);
    for (uint32_t c = 32; c <= 126; ++c)
        EXPECT_TRUE(font.Has(c)) << c;
    EXPECT_FALSE(font.Has(31));
    EXPECT_EQ(font.defaultCharacter, static_cast<uint32_t>('?'));
    EXPECT_EQ(font.format, static_cast<uint32_t>(kFontAlpha8));
    EXPECT_GE(font.lineSpacing, 16.0f);
    EXPECT_LE(font.lineSpacing, 22.0f);
    const SpriteGlyph* m = font.Find('M');
    const SpriteGlyph* i = font.Find('i');
    ASSERT_TRUE(m && i);
    EXPECT_GT(m->xAdvance, i->xAdvance);
    EXPECT_FALSE(ReadSpriteFont("/nonexistent/mirelFont.spritefont", font));
    EXPECT_NE(reports.Last().find("cannot open"), std::string::npos);
}

TEST(SpriteFont, DamagedFilesAreRejectedWithTheirReason)
{
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::tuple<const char*, Edit, const char*> cases[] = {
        {"empty", [](auto& v) { v.clear(); }, "file too short"},
        {"magic", [](auto& v) { v[4] = 'X'; }, "not a sprite font"},
        {"no glyphs", [](auto& v) { Set(v, kCount, 0u); }, "bad glyph count"},
        {"count beyond the file", [](auto& v) { Set(v, kCount, 60000u); }, "glyph table truncated"},
        {"count wraps a 32-bit size", [](auto& v) { Set(v, kCount, 0x08000001u); }, "bad glyph count"},
        {"order", [](auto& v) { Set(v, kGlyph1, uint32_t{' '}); }, "glyphs out of order"},
        {"nan advance", [nan](auto& v) { Set(v, kGlyph1 + 28, nan); }, "bad glyph metrics"},
        {"huge offset", [](auto& v) { Set(v, kGlyph1 + 20, 1e30f); }, "bad glyph metrics"},
        {"inverted rect", [](auto& v) { Set(v, kGlyph1 + 12, 0u); }, "bad glyph rectangle"},
        {"negative left", [](auto& v) { Set(v, kGlyph1 + 4, 0xFFFFFFFFu); }, "bad glyph rectangle"},
        {"rect beyond the atlas", [](auto& v) { Set(v, kGlyph1 + 12, 5u); }, "glyph outside the texture"},
        {"rect below the atlas", [](auto& v) { Set(v, kGlyph0 + 16, 3u); }, "glyph outside the texture"},
        {"line spacing", [](auto& v) { Set(v, kLineSpacing, 0.0f); }, "bad line spacing"},
        {"default without glyph", [](auto& v) { Set(v, kDefault, uint32_t{'Z'}); },
         "default character has no glyph"},
        {"zero width", [](auto& v) { Set(v, kWidth, 0u); }, "bad texture size"},
        {"huge height", [](auto& v) { Set(v, kHeight, 100000u); }, "bad texture size"},
        {"format", [](auto& v) { Set(v, kFormat, 3u); }, "bad texture format"},
        {"rgba pitch too small", [](auto& v) { Set(v, kFormat, kFontRgba8); }, "bad row pitch"},
        {"pitch below width", [](auto& v) { Set(v, kPitch, 3u); }, "bad row pitch"},
        {"pixel count lies", [](auto& v) { Set(v, kPixelBytes, 16u); }, "pixel size does not match"},
        {"pixels cut", [](auto& v) { v.pop_back(); }, "pixels truncated"},
        {"trailing byte", [](auto& v) { v.push_back(0); }, "unexpected bytes after the pixels"},
        {"header cut", [](auto& v) { v.resize(kPitch); }, "header truncated"},
    };
    for (const auto& [what, edit, reason] : cases)
    {
        SCOPED_TRACE(what);
        std::vector<uint8_t> bytes = WriteSpriteFont(TinyFont());
        edit(bytes);
        SpriteFontData out = TinyFont();
        mirel::test::ReportCapture capture;
        EXPECT_FALSE(ParseSpriteFont(bytes.data(), bytes.size(), out, "bad.spritefont"));
        EXPECT_EQ(capture.Count(), 1);
        EXPECT_NE(capture.Last().find(std::string("Sprite font bad.spritefont: ") + reason),
                  std::string::npos)
            << capture.Last();
        EXPECT_TRUE(out.glyphs.empty() && out.pixels.empty());
    }
    // Every truncation, on a copy of exactly its size so that reading past it is caught.
    const std::vector<uint8_t> bytes = WriteSpriteFont(TinyFont());
    mirel::test::ReportCapture capture;
    for (size_t n = 0; n < bytes.size(); ++n)
    {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        SpriteFontData out;
        EXPECT_FALSE(ParseSpriteFont(cut.data(), cut.size(), out, "cut")) << n;
    }
    EXPECT_EQ(capture.Count(), static_cast<int>(bytes.size()));
}

// The layout of a font read back from its file, so that every field has come through the reader.
TEST(SpriteFont, LayoutAdvancesThePenAndFallsBackToTheDefault)
{
    const std::vector<uint8_t> bytes = WriteSpriteFont(TinyFont());
    ASSERT_EQ(bytes.size(), kPixelBytes + 4 + 8);
    SpriteFontData font;
    ASSERT_TRUE(ParseSpriteFont(bytes.data(), bytes.size(), font, "tiny"));
    EXPECT_EQ(WriteSpriteFont(font), bytes);
    GlyphQuad q[8];
    float pen = 0.0f;
    // 'A', space (no quad), 'A', then 'x' which falls back to the space.
    ASSERT_EQ(LayoutLine(font, "A Ax", 10.0f, 20.0f, q, 8, &pen), 2);
    EXPECT_EQ(std::vector<float>(&q[0].x0, &q[0].x0 + 8),
              (std::vector<float>{10.5f, 24.0f, 12.5f, 26.0f, 0.25f, 0.0f, 0.75f, 1.0f}));
    EXPECT_FLOAT_EQ(q[1].x0, 10.0f + 5.0f + 3.0f + 0.5f);
    EXPECT_FLOAT_EQ(pen, 10.0f + 5.0f + 3.0f + 5.0f + 3.0f);
    // Without a default an unknown character takes no room.
    font.defaultCharacter = 0;
    ASSERT_EQ(LayoutLine(font, "xA", 0.0f, 0.0f, q, 8, &pen), 1);
    EXPECT_FLOAT_EQ(q[0].x0, 0.5f);
    EXPECT_FLOAT_EQ(pen, 5.0f);
    // Bytes above 127 are characters, not negative indices; the capacity bounds the output.
    font.defaultCharacter = 'A';
    font.glyphs[1].top = 1;
    EXPECT_EQ(LayoutLine(font, "A", 0.0f, 0.0f, q, 8), 1);
    EXPECT_FLOAT_EQ(q[0].v0, 0.5f);
    EXPECT_EQ(LayoutLine(font, "\xe9\xe9\xe9", 0.0f, 0.0f, q, 2), 2);
    EXPECT_EQ(LayoutLine(font, nullptr, 0.0f, 0.0f, q, 2), 0);
}

} // namespace
