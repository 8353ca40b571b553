// Writes the options menu's sprite sheets (gui/<sheet>.txt with textures/<sheet>.png) and the
// load screen image (textures/loadScreen.png) under the given asset folder. Output is a pure
// function of this source and the distribution's libpng and zlib (the writer pins all else).
#include "pngwrite.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

struct Image
{
    int w, h;
    std::vector<uint32_t> px; // 0xAABBGGRR
    Image(int width, int height, uint32_t fill)
        : w(width), h(height), px(static_cast<size_t>(width) * height, fill)
    {
    }
    void Set(int x, int y, uint32_t c)
    {
        if (x >= 0 && y >= 0 && x < w && y < h) px[static_cast<size_t>(y) * w + x] = c;
    }
    void Fill(int x0, int y0, int rw, int rh, uint32_t c)
    {
        for (int y = y0; y < y0 + rh; ++y)
            for (int x = x0; x < x0 + rw; ++x)
                Set(x, y, c);
    }
    void Outline(int x0, int y0, int rw, int rh, int t, uint32_t c)
    {
        Fill(x0, y0, rw, t, c);
        Fill(x0, y0 + rh - t, rw, t, c);
        Fill(x0, y0, t, rh, c);
        Fill(x0 + rw - t, y0, t, rh, c);
    }
};

// ---- A 5x7 bitmap font for the labels.

struct Glyph
{
    char c;
    const char* rows[7];
};

const Glyph kFont[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'/', {".....", "....#", "...#.", "..#..", ".#...", "#....", "....."}},
};

const Glyph* FindGlyph(char c)
{
    for (const Glyph& g : kFont)
        if (g.c == c) return &g;
    return nullptr;
}

// Width in pixels of text at the given scale (6 columns per character, the last gap dropped).
int TextWidth(const char* text, int scale)
{
    return static_cast<int>(std::strlen(text)) * 6 * scale - scale;
}

void DrawText(Image& img, int x, int y, const char* text, int scale, uint32_t colour)
{
    for (const char* p = text; *p; ++p, x += 6 * scale)
    {
        const Glyph* g = FindGlyph(*p);
        if (!g) continue; // spaces and anything unknown leave a gap
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 5; ++c)
                if (g->rows[r][c] == '#') img.Fill(x + c * scale, y + r * scale, scale, scale, colour);
    }
}

// ---- The sheets.

constexpr uint32_t kClear = 0x00000000u;
constexpr uint32_t kPanel = 0xE0281E19u; // dark blue-grey, mostly opaque
constexpr uint32_t kEdge = 0xFFB4A08Cu;
constexpr uint32_t kText = 0xFFF0F0F0u;
constexpr uint32_t kDim = 0xFFA0A0A0u;
constexpr uint32_t kBoxOff = 0xFF3C3228u;
constexpr uint32_t kBoxOn = 0xFF30C8FFu; // amber
constexpr uint32_t kTick = 0xFF101010u;

struct SpriteRec
{
    int id, x, y, w, h;
};

std::string SheetText(const std::vector<SpriteRec>& sprites)
{
    std::string s = "numSprites=" + std::to_string(sprites.size()) + "\n";
    for (const SpriteRec& r : sprites)
    {
        s += "id=" + std::to_string(r.id) + " x=" + std::to_string(r.x) + " y=" + std::to_string(r.y) +
             " lrx=" + std::to_string(r.x + r.w) + " lry=" + std::to_string(r.y + r.h) +
             " width=" + std::to_string(r.w) + " height=" + std::to_string(r.h) + " anchorx=0 anchory=0\n";
    }
    return s;
}

// A labelled toggle: a box at the left, the label beside it; checked fills the box and ticks it.
void DrawToggle(Image& img, const SpriteRec& r, const char* label, bool checked)
{
    img.Fill(r.x, r.y, r.w, r.h, checked ? 0xF0403C30u : 0xE0302820u);
    img.Outline(r.x, r.y, r.w, r.h, 1, checked ? kBoxOn : kEdge);
    const int box = r.h - 10;
    img.Fill(r.x + 5, r.y + 5, box, box, checked ? kBoxOn : kBoxOff);
    img.Outline(r.x + 5, r.y + 5, box, box, 1, kEdge);
    if (checked) img.Fill(r.x + 5 + box / 4, r.y + 5 + box / 4, box / 2, box / 2, kTick);
    DrawText(img, r.x + box + 12, r.y + (r.h - 14) / 2, label, 2, checked ? kText : kDim);
}

// A bare box (the menu frame carries its label).
void DrawBox(Image& img, const SpriteRec& r, bool checked)
{
    img.Fill(r.x, r.y, r.w, r.h, checked ? kBoxOn : kBoxOff);
    img.Outline(r.x, r.y, r.w, r.h, 2, kEdge);
    if (checked) img.Fill(r.x + r.w / 4, r.y + r.h / 4, r.w / 2, r.h / 2, kTick);
}

// A slider track: a groove from 10 to width - 10 around the vertical middle (the knob's centre).
void DrawTrack(Image& img, const SpriteRec& r, const char* lo, const char* hi)
{
    img.Fill(r.x, r.y, r.w, r.h, kClear);
    img.Fill(r.x + 10, r.y + r.h / 2 - 3, r.w - 20, 6, kBoxOff);
    img.Outline(r.x + 10, r.y + r.h / 2 - 3, r.w - 20, 6, 1, kEdge);
    if (lo) DrawText(img, r.x + 2, r.y, lo, 1, kDim);
    if (hi) DrawText(img, r.x + r.w - TextWidth(hi, 1) - 2, r.y, hi, 1, kDim);
}

void DrawKnob(Image& img, const SpriteRec& r)
{
    img.Fill(r.x, r.y, r.w, r.h, kBoxOn);
    img.Outline(r.x, r.y, r.w, r.h, 2, kEdge);
}

// Frame-relative places of the menu's widgets; the labels sit left of them.
constexpr int kFrameW = 440, kFrameH = 650;

void DrawFrame(Image& img, const SpriteRec& r)
{
    img.Fill(r.x, r.y, r.w, r.h, kPanel);
    img.Outline(r.x, r.y, r.w, r.h, 3, kEdge);
    DrawText(img, r.x + 20, r.y + 20, "OPTIONS", 4, kText);
    DrawText(img, r.x + 264, r.y + 30, "KEY 1 HIDES", 1, kDim);
    DrawText(img, r.x + 20, r.y + 86, "VARIABLE", 2, kText);
    DrawText(img, r.x + 20, r.y + 104, "REFRESH", 2, kText);
    DrawText(img, r.x + 20, r.y + 144, "VSYNC", 2, kText);
    DrawText(img, r.x + 20, r.y + 220, "FRAME RATE", 2, kText);
    DrawText(img, r.x + 20, r.y + 380, "CAMERA", 2, kText);
    DrawText(img, r.x + 20, r.y + 528, "ANIMATION SPEED", 2, kText);
    DrawText(img, r.x + 20, r.y + 611, "RED BAR", 2, kText);
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
    {
        std::fprintf(stderr, "guigen: cannot write %s\n", path.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void WritePng(const std::string& path, const Image& img)
{
    std::vector<uint8_t> rgba;
    rgba.reserve(img.px.size() * 4);
    for (uint32_t c : img.px)
        for (int k = 0; k < 4; ++k)
            rgba.push_back(static_cast<uint8_t>(c >> (8 * k)));
    const std::vector<uint8_t> png = pngwrite::Encode(rgba.data(), img.w, img.h, pngwrite::Format::Rgba);
    WriteFile(path, std::string(png.begin(), png.end()));
}

void MakeOptions(const std::string& root)
{
    Image img(1024, 1024, kClear);
    std::vector<SpriteRec> s(28);
    const char* cameraLabels[3] = {"ORBIT", "SWAY", "FREE"};
    // Pairs 0/1, 2/3, 26/27: camera modes; 4/5: the camera path mode (not in the menu).
    const int cameraIds[3][2] = {{0, 1}, {2, 3}, {26, 27}};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 2; ++k)
        {
            SpriteRec& r = s[cameraIds[i][k]];
            r = {cameraIds[i][k], 460 + k * 140, 10 + i * 40, 130, 30};
            DrawToggle(img, r, cameraLabels[i], k == 1);
        }
    for (int k = 0; k < 2; ++k)
    {
        s[4 + k] = {4 + k, 460 + k * 140, 130, 130, 30};
        DrawToggle(img, s[4 + k], "PATH", k == 1);
    }
    // 6..19: the seven frame-rate choices, unchecked then checked.
    for (int i = 0; i < 7; ++i)
        for (int k = 0; k < 2; ++k)
        {
            const int id = 6 + 2 * i + k;
            s[id] = {id, 460 + k * 140, 180 + i * 40, i == 6 ? 130 : 80, 30};
            char label[16];
            if (i == 6)
                std::snprintf(label, sizeof label, "SWEEP");
            else
                std::snprintf(label, sizeof label, "%d", 35 + 5 * i);
            DrawToggle(img, s[id], label, k == 1);
        }
    s[20] = {20, 460, 470, 64, 64};
    img.Fill(s[20].x, s[20].y, s[20].w, s[20].h, kPanel); // a plain panel tile
    img.Outline(s[20].x, s[20].y, s[20].w, s[20].h, 2, kEdge);
    s[21] = {21, 560, 470, 26, 26};
    DrawBox(img, s[21], false);
    s[22] = {22, 600, 470, 26, 26};
    DrawBox(img, s[22], true);
    s[23] = {23, 0, 0, kFrameW, kFrameH};
    DrawFrame(img, s[23]);
    s[24] = {24, 460, 560, 300, 24};
    DrawTrack(img, s[24], "SLOW", "FAST");
    s[25] = {25, 780, 558, 16, 28};
    DrawKnob(img, s[25]);
    for (int i = 0; i < 28; ++i)
        s[i].id = i;
    WriteFile(root + "/gui/options.txt", SheetText(s));
    WritePng(root + "/textures/options.png", img);
}

void MakeSpriteSheet1(const std::string& root)
{
    Image img(256, 256, kClear);
    std::vector<SpriteRec> s(17);
    // 0..14: numbered tiles; 15: the fps slider's track; 16: its knob.
    for (int i = 0; i < 15; ++i)
    {
        s[i] = {i, (i % 5) * 48 + 4, (i / 5) * 40 + 4, 44, 36};
        img.Fill(s[i].x, s[i].y, s[i].w, s[i].h, kPanel);
        img.Outline(s[i].x, s[i].y, s[i].w, s[i].h, 1, kEdge);
        char label[8];
        std::snprintf(label, sizeof label, "%d", i);
        DrawText(img, s[i].x + (s[i].w - TextWidth(label, 2)) / 2, s[i].y + 11, label, 2, kText);
    }
    s[15] = {15, 4, 130, 240, 24};
    DrawTrack(img, s[15], "0", "MAX");
    s[16] = {16, 4, 170, 16, 28};
    DrawKnob(img, s[16]);
    WriteFile(root + "/gui/sprite_sheet_1.txt", SheetText(s));
    WritePng(root + "/textures/sprite_sheet_1.png", img);
}

void MakeLoadScreen(const std::string& root)
{
    const int w = 1024, h = 512;
    Image img(w, h, 0xFF000000u);
    for (int y = 0; y < h; ++y)
    {
        // Top (0.05, 0.06, 0.09) to bottom (0.12, 0.10, 0.14), in 16 bands so the rows repeat.
        const int band = y * 16 / h;
        const uint32_t r = static_cast<uint32_t>(13 + band * 18 / 16);
        const uint32_t g = static_cast<uint32_t>(15 + band * 10 / 16);
        const uint32_t b = static_cast<uint32_t>(23 + band * 13 / 16);
        img.Fill(0, y, w, 1, 0xFF000000u | (b << 16) | (g << 8) | r);
    }
    const char* title = "CADORA";
    DrawText(img, (w - TextWidth(title, 12)) / 2, 150, title, 12, 0xFFE8E0D8u);
    const char* line = "VARIABLE REFRESH DEMO";
    DrawText(img, (w - TextWidth(line, 3)) / 2, 260, line, 3, 0xFFA09890u);
    const char* loading = "LOADING";
    DrawText(img, (w - TextWidth(loading, 2)) / 2, 410, loading, 2, 0xFFA09890u);
    // The progress bar shows through this strip (u 0.1 to 0.9, v 0.86 to 0.9).
    img.Fill(w / 10, h * 86 / 100, w * 8 / 10, h * 4 / 100, 0x00000000u);
    WritePng(root + "/textures/loadScreen.png", img);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: guigen ASSET_DIR\n");
        return 2;
    }
    const std::string root = argv[1];
    mkdir((root + "/gui").c_str(), 0755);
    mkdir((root + "/textures").c_str(), 0755);
    MakeOptions(root);
    MakeSpriteSheet1(root);
    MakeLoadScreen(root);
    return 0;
}
