// Text drawn through the HUD overlay into a render target and read back: ink where the laid-out
// glyphs are and nowhere else, each line in its colour 22 pixels below the previous, blended
// over what was there, with the context's state left as it was.
#include "core/utils.h"
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11SpriteText.h"

#include <windows.h>

#include <d3d11.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace miResources;

namespace
{

constexpr UINT kW = 320, kH = 96;

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

class TextDraw : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_11_0;
        ASSERT_TRUE(SUCCEEDED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, &level, 1,
                                                D3D11_SDK_VERSION, &device, nullptr, &context)));
        D3D11_TEXTURE2D_DESC d = {};
        d.Width = kW;
        d.Height = kH;
        d.MipLevels = d.ArraySize = 1;
        d.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        d.SampleDesc.Count = 1;
        d.BindFlags = D3D11_BIND_RENDER_TARGET;
        ASSERT_TRUE(SUCCEEDED(device->CreateTexture2D(&d, nullptr, &target)));
        ASSERT_TRUE(SUCCEEDED(device->CreateRenderTargetView(target, nullptr, &rtv)));
        d.BindFlags = 0;
        d.Usage = D3D11_USAGE_STAGING;
        d.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        ASSERT_TRUE(SUCCEEDED(device->CreateTexture2D(&d, nullptr, &staging)));
        context->OMSetRenderTargets(1, &rtv, nullptr);
        D3D11_VIEWPORT vp = {0, 0, static_cast<float>(kW), static_cast<float>(kH), 0, 1};
        context->RSSetViewports(1, &vp);
        ASSERT_TRUE(hud.LoadFrom(mirel::GetExecutableDirectory(), device, context));
    }
    void TearDown() override
    {
        hud.OnRelease();
        SafeRelease(staging);
        SafeRelease(rtv);
        SafeRelease(target);
        SafeRelease(context);
        SafeRelease(device);
    }
    void Clear(float r, float g, float b)
    {
        const FLOAT c[4] = {r, g, b, 1.0f};
        context->ClearRenderTargetView(rtv, c);
    }
    std::vector<uint8_t> Read()
    {
        context->CopyResource(staging, target);
        D3D11_MAPPED_SUBRESOURCE m = {};
        std::vector<uint8_t> px(kW * kH * 4);
        if (FAILED(context->Map(staging, 0, D3D11_MAP_READ, 0, &m))) return px;
        for (UINT y = 0; y < kH; ++y)
            std::memcpy(&px[y * kW * 4], static_cast<const uint8_t*>(m.pData) + y * m.RowPitch, kW * 4);
        context->Unmap(staging, 0);
        return px;
    }

    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    ID3D11Texture2D* target = nullptr;
    ID3D11Texture2D* staging = nullptr;
    ID3D11RenderTargetView* rtv = nullptr;
    PlatformHUDOverlay hud;
};

} // namespace

TEST_F(TextDraw, LinesLandWhereLaidOutInTheirColours)
{
    Clear(0, 0, 0);
    mirel::TextList list;
    list.x = 10.7f; // drawn from whole pixels
    list.y = 8.4f;
    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1};
    mirel::AppendText(list, "Mirel 0.9.1 gjpq", red);
    mirel::AppendText(list, "WWW", green);
    hud.Draw(list);
    const std::vector<uint8_t> px = Read();

    const Box first = InkBox(hud.font->data, "Mirel 0.9.1 gjpq", 10.0f, 8.0f);
    const Box second = InkBox(hud.font->data, "WWW", 10.0f, 30.0f);
    ASSERT_LT(first.x0, first.x1);
    ASSERT_LE(first.y1, second.y0 + 6) << "lines overlap";
    int redInk = 0, greenInk = 0, stray = 0, mixed = 0;
    for (int y = 0; y < static_cast<int>(kH); ++y)
        for (int x = 0; x < static_cast<int>(kW); ++x)
        {
            const uint8_t* p = &px[(y * kW + x) * 4];
            if (p[0] > 96) redInk += first.Holds(x, y);
            if (p[1] > 96) greenInk += second.Holds(x, y);
            if ((p[0] > 8 && !first.Holds(x, y)) || (p[1] > 8 && !second.Holds(x, y))) ++stray;
            if (p[2] > 8 || (p[0] > 8 && p[1] > 8)) ++mixed;
        }
    EXPECT_GT(redInk, 60);
    EXPECT_GT(greenInk, 30);
    EXPECT_EQ(stray, 0);
    EXPECT_EQ(mixed, 0);
    // Ink lies in the left half of the first box's columns as well as the right: the whole string drew.
    int leftInk = 0, rightInk = 0;
    const int mid = (first.x0 + first.x1) / 2;
    for (int y = first.y0; y < first.y1; ++y)
        for (int x = first.x0; x < first.x1; ++x)
            (x < mid ? leftInk : rightInk) += px[(y * kW + x) * 4] > 96;
    EXPECT_GT(leftInk, 20);
    EXPECT_GT(rightInk, 20);
}

TEST_F(TextDraw, GlyphQuadsBlendOverTheTarget)
{
    Clear(0, 0, 1);
    mirel::TextList list;
    list.x = 4;
    list.y = 4;
    const float halfWhite[4] = {1, 1, 1, 0.5f};
    mirel::AppendText(list, "HHHH", halfWhite);
    hud.Draw(list);
    const std::vector<uint8_t> px = Read();
    const Box box = InkBox(hud.font->data, "HHHH", 4.0f, 4.0f);
    int blended = 0, keptBlue = 0, lostBlue = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x)
        {
            const uint8_t* p = &px[(y * kW + x) * 4];
            if (p[0] > 96 && p[0] < 160 && p[2] > 240) ++blended; // half white over blue
            if (p[0] < 8 && p[2] > 250) ++keptBlue;               // bare quad area stays as it was
            if (p[2] < 200) ++lostBlue;
        }
    EXPECT_GT(blended, 20);
    EXPECT_GT(keptBlue, 20);
    EXPECT_EQ(lostBlue, 0);
}

TEST_F(TextDraw, ContextStateIsRestored)
{
    D3D11_BLEND_DESC bd = {};
    bd.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_RED;
    ID3D11BlendState* mine = nullptr;
    ASSERT_TRUE(SUCCEEDED(device->CreateBlendState(&bd, &mine)));
    const FLOAT factor[4] = {0.25f, 0, 0, 0};
    context->OMSetBlendState(mine, factor, 0x3u);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_LINELIST);
    mirel::TextList list;
    const float white[4] = {1, 1, 1, 1};
    mirel::AppendText(list, "state", white);
    hud.Draw(list);
    ID3D11BlendState* after = nullptr;
    FLOAT f[4] = {};
    UINT mask = 0;
    context->OMGetBlendState(&after, f, &mask);
    D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    context->IAGetPrimitiveTopology(&topology);
    ID3D11PixelShader* ps = nullptr;
    context->PSGetShader(&ps, nullptr, nullptr);
    EXPECT_EQ(after, mine);
    EXPECT_EQ(f[0], 0.25f);
    EXPECT_EQ(mask, 0x3u);
    EXPECT_EQ(topology, D3D11_PRIMITIVE_TOPOLOGY_LINELIST);
    EXPECT_EQ(ps, nullptr);
    SafeRelease(after);
    SafeRelease(ps);
    SafeRelease(mine);
}

TEST_F(TextDraw, MissingFontIsReportedAndDrawsNothing)
{
    mirel::SetAssertEcho(false);
    mirel::ResetAssertReports();
    PlatformHUDOverlay missing;
    EXPECT_FALSE(missing.LoadFrom("C:\\no-such-folder", device, context));
    char msg[512];
    EXPECT_EQ(mirel::AssertReportCount(), 1);
    EXPECT_NE(std::string(mirel::LastAssertMessage(msg, sizeof msg)).find("Mirel Font not found"),
              std::string::npos);
    mirel::SetAssertEcho(true);
    Clear(0, 0, 0);
    mirel::TextList list;
    const float white[4] = {1, 1, 1, 1};
    mirel::AppendText(list, "nothing", white);
    missing.Draw(list);
    const std::vector<uint8_t> px = Read();
    int lit = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        lit += px[i] | px[i + 1] | px[i + 2];
    EXPECT_EQ(lit, 0);
    // The loaded overlay picked the space as its default character.
    EXPECT_EQ(hud.font->data.defaultCharacter, static_cast<uint32_t>(' '));
}
