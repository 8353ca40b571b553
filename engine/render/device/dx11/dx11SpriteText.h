// Text on the immediate context: a sprite font's atlas as a texture, a batch of glyph quads in a
// dynamic vertex buffer drawn with premultiplied alpha blending, and the HUD overlay that draws a
// TextList with them. The batch restores the pipeline state it touched, so recorded views that
// execute after it find their bindings as they left them.
#pragma once

#include "core/datastructs.h"
#include "core/utils.h"
#include "render/spritefont.h"

#include <windows.h>

#include <d3d11.h>

namespace miResources
{

// The shared state objects of sprite drawing.
class CommonStates
{
  public:
    bool Create(ID3D11Device* device);
    void Release();
    // Premultiplied alpha: one, inverse source alpha.
    ID3D11BlendState* alphaBlend = nullptr;
    ID3D11DepthStencilState* depthNone = nullptr;
    ID3D11RasterizerState* cullNone = nullptr;
    ID3D11SamplerState* linearClamp = nullptr;
};

class SpriteFont
{
  public:
    ~SpriteFont() { Release(); }
    // Reads and validates the file and makes its atlas texture; false (reported) on failure.
    bool Load(ID3D11Device* device, const char* path);
    void Release();
    // The glyph drawn for characters the font lacks; 0 for none.
    void SetDefaultCharacter(uint32_t c) { data.defaultCharacter = c; }

    SpriteFontData data;
    ID3D11Texture2D* texture = nullptr;
    ID3D11ShaderResourceView* srv = nullptr;
};

class SpriteBatch
{
  public:
    static constexpr int kMaxQuads = 2048;

    ~SpriteBatch() { Release(); }
    bool Create(ID3D11Device* device, ID3D11DeviceContext* context);
    void Release();
    void Begin();
    // Queues one line of text with its top left at (x, y) in pixels of the bound viewport.
    void DrawString(const SpriteFont& font, const char* text, float x, float y, const float colour[4]);
    // Draws what was queued.
    void End();

  private:
    struct Vertex
    {
        float x, y, u, v;
        float r, g, b, a;
    };
    void Flush();

    ID3D11Device* device_ = nullptr;
    ID3D11DeviceContext* context_ = nullptr;
    CommonStates states_;
    ID3D11VertexShader* vs_ = nullptr;
    ID3D11PixelShader* ps_ = nullptr;
    ID3D11InputLayout* layout_ = nullptr;
    ID3D11Buffer* vertices_ = nullptr;
    ID3D11Buffer* indices_ = nullptr;
    Vertex* queued_ = nullptr;
    int queuedQuads_ = 0;
    const SpriteFont* font_ = nullptr;
    bool begun_ = false;
};

class HUDOverlay : public mirel::ManagedResource
{
  public:
    virtual void Draw(const mirel::TextList& list) = 0;
};

class PlatformHUDOverlay : public HUDOverlay
{
  public:
    ~PlatformHUDOverlay() override;
    // Loads "mirelFont.spritefont" from beside the program.
    void OnCreate() override;
    void OnRelease() override;
    void Create() override {}
    void Draw(const mirel::TextList& list) override;

    // The load of OnCreate from a given folder and device; false (reported) when it fails.
    bool LoadFrom(const char* folder, ID3D11Device* device, ID3D11DeviceContext* context);

    SpriteFont* font = nullptr;
    SpriteBatch* batch = nullptr;
};

} // namespace miResources
