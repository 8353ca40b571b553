// The sprite font reader on arbitrary bytes: an accepted font's glyphs lie inside its atlas and
// laying out any text stays within it.
#include "core/utils.h"
#include "render/spritefont.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mirel::SetAssertEcho(false);
    miResources::SpriteFontData font;
    if (!miResources::ParseSpriteFont(data, size, font, "fuzz")) return 0;
    if (font.pixels.size() != static_cast<size_t>(font.pitch) * font.height) __builtin_trap();
    for (const auto& g : font.glyphs)
    {
        if (g.left < 0 || g.top < 0 || g.right < g.left || g.bottom < g.top) __builtin_trap();
        if (static_cast<uint32_t>(g.right) > font.width || static_cast<uint32_t>(g.bottom) > font.height)
            __builtin_trap();
    }
    char text[256];
    for (int i = 0; i < 255; ++i)
        text[i] = static_cast<char>(i + 1);
    text[255] = '\0';
    miResources::GlyphQuad quads[300];
    const int n = miResources::LayoutLine(font, text, 0.0f, 0.0f, quads, 300);
    if (n < 0 || n > 255) __builtin_trap();
    for (int i = 0; i < n; ++i)
        if (!(quads[i].u0 >= 0.0f && quads[i].u1 <= 1.0f && quads[i].v0 >= 0.0f && quads[i].v1 <= 1.0f))
            __builtin_trap();
    return 0;
}
