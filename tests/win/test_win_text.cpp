// Text drawn through the HUD overlay into a render target and read back: ink where the laid-out
// glyphs are and nowhere else, each line in its colour 22 pixels below the previous, blended
// over what was there, with the context's state left as it was.
#include "render/device/dx11/dx11SpriteText.h"
#include "support/readback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace miResources;

namespace
{

constexpr int kW = 320, kH = 96;

struct Box
{
    int x0, y0, x1, y1; // x1, y1 exclusive
    bool Holds(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

Box InkBox(const SpriteFontData& font, const char* text, float x, float y)
{
    GlyphQuad q[256];
    const int n = LayoutLine(font, text, x, y, q, 256);
    Box b{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
    for (int i = 0; i < n; ++i)
    {
        b.x0 = std::min(b.x0, static_cast<int>(std::floor(q[i].x0)));
        b.y0 = std::min(b.y0, static_cast<int>(std::floor(q[i].y0)));
        b.x1 = std::max(b.x1, static_cast<int>(std::ceil(q[i].x1)));
        b.y1 = std::max(b.y1, static_cast<int>(std::ceil(q[i].y1)));
    }
    return b;
}

// The swap chain's back buffer of a hidden window is the render target.
class TextDraw : public DeviceSuite<kW, kH, false>
{
  protected:
    void SetUp() override
    {
        DeviceSuite::SetUp();
        context = device->context;
        ASSERT_NE(device->backBufferView, nullptr);
        context->OMSetRenderTargets(1, &device->backBufferView, nullptr);
        D3D11_VIEWPORT vp = {0, 0, static_cast<float>(kW), static_cast<float>(kH), 0, 1};
        context->RSSetViewports(1, &vp);
        ASSERT_TRUE(hud.LoadFrom(mirel::GetExecutableDirectory(), device->device, context));
    }
    void TearDown() override { hud.OnRelease(); }
    // The lines drawn by overlay over a clear of (r, g, b), read back.
    std::vector<uint8_t> Draw(HUDOverlay& overlay, float r, float g, float b, float x, float y,
                              std::initializer_list<std::pair<const char*, const float*>> lines)
    {
        const FLOAT c[4] = {r, g, b, 1.0f};
        context->ClearRenderTargetView(device->backBufferView, c);
        mirel::TextList list;
        list.x = x;
        list.y = y;
        for (const auto& line : lines)
            mirel::AppendText(list, line.first, line.second);
        overlay.Draw(list);
        std::vector<uint8_t> px = ReadPixels(device->backBuffer);
        px.resize(kW * kH * 4);
        return px;
    }

    ID3D11DeviceContext* context = nullptr;
    PlatformHUDOverlay hud;
};

const float kRed[4] = {1, 0, 0, 1}, kGreen[4] = {0, 1, 0, 1}, kWhite[4] = {1, 1, 1, 1};

} // namespace

TEST_F(TextDraw, LinesLandWhereLaidOutInTheirColours)
{
    // Drawn from whole pixels.
    const std::vector<uint8_t> px =
        Draw(hud, 0, 0, 0, 10.7f, 8.4f, {{"Mirel 0.9.1 gjpq", kRed}, {"WWW", kGreen}});
    const Box first = InkBox(hud.font->data, "Mirel 0.9.1 gjpq", 10.0f, 8.0f);
    const Box second = InkBox(hud.font->data, "WWW", 10.0f, 30.0f);
    ASSERT_LT(first.x0, first.x1);
    ASSERT_LE(first.y1, second.y0 + 6) << "lines overlap";
    // Ink in the left half of the first box's columns as well as the right: the whole string drew.
    const int mid = (first.x0 + first.x1) / 2;
    int redLeft = 0, redRight = 0, greenInk = 0, stray = 0, mixed = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
        {
            const uint8_t* p = &px[(y * kW + x) * 4];
            if (p[0] > 96 && first.Holds(x, y)) ++(x < mid ? redLeft : redRight);
            if (p[1] > 96) greenInk += second.Holds(x, y);
            if ((p[0] > 8 && !first.Holds(x, y)) || (p[1] > 8 && !second.Holds(x, y))) ++stray;
            if (p[2] > 8 || (p[0] > 8 && p[1] > 8)) ++mixed;
        }
    EXPECT_GT(std::min(redLeft, redRight), 20) << redLeft << " " << redRight;
    EXPECT_GT(greenInk, 30);
    EXPECT_EQ(std::make_pair(stray, mixed), std::make_pair(0, 0));
}

TEST_F(TextDraw, GlyphQuadsBlendOverTheTargetAndTheStateIsRestored)
{
    D3D11_BLEND_DESC bd = {};
    bd.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_RED;
    ID3D11BlendState* mine = nullptr;
    ASSERT_TRUE(SUCCEEDED(device->device->CreateBlendState(&bd, &mine)));
    const FLOAT factor[4] = {0.25f, 0, 0, 0};
    context->OMSetBlendState(mine, factor, 0x3u);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_LINELIST);
    const float halfWhite[4] = {1, 1, 1, 0.5f};
    const std::vector<uint8_t> px = Draw(hud, 0, 0, 1, 4, 4, {{"HHHH", halfWhite}});

    const Box box = InkBox(hud.font->data, "HHHH", 4.0f, 4.0f);
    int blended = 0, keptBlue = 0, lostBlue = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x)
        {
            const uint8_t* p = &px[(y * kW + x) * 4];
            blended += p[0] > 96 && p[0] < 160 && p[2] > 240; // half white over blue
            keptBlue += p[0] < 8 && p[2] > 250;               // bare quad area stays as it was
            lostBlue += p[2] < 200;
        }
    EXPECT_GT(std::min(blended, keptBlue), 20) << blended << " " << keptBlue;
    EXPECT_EQ(lostBlue, 0);
    ID3D11BlendState* after = nullptr;
    FLOAT f[4] = {};
    UINT mask = 0;
    context->OMGetBlendState(&after, f, &mask);
    D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    context->IAGetPrimitiveTopology(&topology);
    ID3D11PixelShader* ps = nullptr;
    context->PSGetShader(&ps, nullptr, nullptr);
    EXPECT_EQ(std::make_tuple(after, f[0], mask, topology, ps),
              std::make_tuple(mine, 0.25f, 0x3u, D3D11_PRIMITIVE_TOPOLOGY_LINELIST,
                              static_cast<ID3D11PixelShader*>(nullptr)));
    for (IUnknown* held : std::initializer_list<IUnknown*>{after, ps, mine})
        if (held) held->Release();
}

TEST_F(TextDraw, MissingFontIsReportedAndDrawsNothing)
{
    PlatformHUDOverlay missing;
    EXPECT_FALSE(missing.LoadFrom("C:\\no-such-folder", device->device, context));
    EXPECT_EQ(mirel::AssertReportCount(), 1);
    EXPECT_TRUE(LastReportHas("Mirel Font not found"));
    const std::vector<uint8_t> px = Draw(missing, 0, 0, 0, 0, 0, {{"nothing", kWhite}});
    EXPECT_EQ(std::count(px.begin(), px.end(), uint8_t{0}), kW * kH * 3) << "only the alpha bytes are set";
    // The loaded overlay picked the space as its default character.
    EXPECT_EQ(hud.font->data.defaultCharacter, static_cast<uint32_t>(' '));
}
