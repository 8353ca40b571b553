#include "render/device/dx11/dx11SpriteText.h"

#include "render/device/dx11/dx11Device.h"

#include <d3dcompiler.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

namespace miResources
{

namespace
{

constexpr const char* kResourcesFile = "render/device/dx11/dx11Resources";

// Positions arrive in clip space (the batch maps pixels on the CPU), so no constant buffer slot
// is taken from the views.
const char* kSpriteShader = R"(
struct VSIn { float2 pos : POSITION; float2 uv : TEXCOORD0; float4 colour : COLOR0; };
struct VSOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; float4 colour : COLOR0; };
VSOut mainVS(VSIn i)
{
    VSOut o;
    o.pos = float4(i.pos, 0.0, 1.0);
    o.uv = i.uv;
    o.colour = i.colour;
    return o;
}
Texture2D atlas : register(t0);
SamplerState atlasSampler : register(s0);
float4 mainPS(VSOut i) : SV_Target { return atlas.Sample(atlasSampler, i.uv) * i.colour; }
)";

ID3DBlob* Compile(const char* entry, const char* target)
{
    ID3DBlob* code = nullptr;
    ID3DBlob* errors = nullptr;
    HRESULT hr = D3DCompile(kSpriteShader, std::strlen(kSpriteShader), "sprite", nullptr, nullptr, entry,
                            target, 0, 0, &code, &errors);
    MIREL_ASSERT(SUCCEEDED(hr), __LINE__, "Sprite shader %s: %s", entry,
                 errors ? static_cast<const char*>(errors->GetBufferPointer()) : "compile failed");
    SafeRelease(errors);
    if (FAILED(hr)) SafeRelease(code);
    return code;
}

// What the batch changes on the context, put back after its draw.
struct SavedState
{
    explicit SavedState(ID3D11DeviceContext* c) : ctx(c)
    {
        ctx->IAGetInputLayout(&layout);
        ctx->IAGetPrimitiveTopology(&topology);
        ctx->IAGetVertexBuffers(0, 1, &vb, &stride, &offset);
        ctx->IAGetIndexBuffer(&ib, &ibFormat, &ibOffset);
        ctx->VSGetShader(&vs, nullptr, nullptr);
        ctx->GSGetShader(&gs, nullptr, nullptr);
        ctx->PSGetShader(&ps, nullptr, nullptr);
        ctx->PSGetShaderResources(0, 1, &srv);
        ctx->PSGetSamplers(0, 1, &sampler);
        ctx->OMGetBlendState(&blend, blendFactor, &sampleMask);
        ctx->OMGetDepthStencilState(&depth, &stencilRef);
        ctx->RSGetState(&raster);
    }
    ~SavedState()
    {
        ctx->IASetInputLayout(layout);
        ctx->IASetPrimitiveTopology(topology);
        ctx->IASetVertexBuffers(0, 1, &vb, &stride, &offset);
        ctx->IASetIndexBuffer(ib, ibFormat, ibOffset);
        ctx->VSSetShader(vs, nullptr, 0);
        ctx->GSSetShader(gs, nullptr, 0);
        ctx->PSSetShader(ps, nullptr, 0);
        ctx->PSSetShaderResources(0, 1, &srv);
        ctx->PSSetSamplers(0, 1, &sampler);
        ctx->OMSetBlendState(blend, blendFactor, sampleMask);
        ctx->OMSetDepthStencilState(depth, stencilRef);
        ctx->RSSetState(raster);
        SafeRelease(layout);
        SafeRelease(vb);
        SafeRelease(ib);
        SafeRelease(vs);
        SafeRelease(gs);
        SafeRelease(ps);
        SafeRelease(srv);
        SafeRelease(sampler);
        SafeRelease(blend);
        SafeRelease(depth);
        SafeRelease(raster);
    }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

    ID3D11DeviceContext* ctx;
    ID3D11InputLayout* layout = nullptr;
    D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    ID3D11Buffer* vb = nullptr;
    UINT stride = 0, offset = 0;
    ID3D11Buffer* ib = nullptr;
    DXGI_FORMAT ibFormat = DXGI_FORMAT_UNKNOWN;
    UINT ibOffset = 0;
    ID3D11VertexShader* vs = nullptr;
    ID3D11GeometryShader* gs = nullptr;
    ID3D11PixelShader* ps = nullptr;
    ID3D11ShaderResourceView* srv = nullptr;
    ID3D11SamplerState* sampler = nullptr;
    ID3D11BlendState* blend = nullptr;
    FLOAT blendFactor[4] = {};
    UINT sampleMask = 0xFFFFFFFFu;
    ID3D11DepthStencilState* depth = nullptr;
    UINT stencilRef = 0;
    ID3D11RasterizerState* raster = nullptr;
};

} // namespace

bool CommonStates::Create(ID3D11Device* device)
{
    Release();
    D3D11_BLEND_DESC b = {};
    b.RenderTarget[0].BlendEnable = TRUE;
    b.RenderTarget[0].SrcBlend = D3D11_BLEND_ONE;
    b.RenderTarget[0].DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
    b.RenderTarget[0].BlendOp = D3D11_BLEND_OP_ADD;
    b.RenderTarget[0].SrcBlendAlpha = D3D11_BLEND_ONE;
    b.RenderTarget[0].DestBlendAlpha = D3D11_BLEND_INV_SRC_ALPHA;
    b.RenderTarget[0].BlendOpAlpha = D3D11_BLEND_OP_ADD;
    b.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
    D3D11_DEPTH_STENCIL_DESC d = {};
    d.DepthEnable = FALSE;
    d.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    d.DepthFunc = D3D11_COMPARISON_LESS_EQUAL;
    D3D11_RASTERIZER_DESC r = {};
    r.FillMode = D3D11_FILL_SOLID;
    r.CullMode = D3D11_CULL_NONE;
    r.DepthClipEnable = TRUE;
    r.ScissorEnable = FALSE;
    D3D11_SAMPLER_DESC s = {};
    s.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    s.AddressU = s.AddressV = s.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    s.MaxAnisotropy = 1;
    s.ComparisonFunc = D3D11_COMPARISON_NEVER;
    s.MaxLOD = D3D11_FLOAT32_MAX;
    const bool ok = SUCCEEDED(device->CreateBlendState(&b, &alphaBlend)) &&
                    SUCCEEDED(device->CreateDepthStencilState(&d, &depthNone)) &&
                    SUCCEEDED(device->CreateRasterizerState(&r, &cullNone)) &&
                    SUCCEEDED(device->CreateSamplerState(&s, &linearClamp));
    MIREL_ASSERT(ok, __LINE__, "D3D error CreateState");
    if (!ok) Release();
    return ok;
}

void CommonStates::Release()
{
    SafeRelease(alphaBlend);
    SafeRelease(depthNone);
    SafeRelease(cullNone);
    SafeRelease(linearClamp);
}

bool SpriteFont::Load(ID3D11Device* device, const char* path)
{
    Release();
    if (!device || !ReadSpriteFont(path, data)) return false;
    // Coverage becomes premultiplied white, so one shader serves both atlas formats.
    std::vector<uint8_t> rgba(static_cast<size_t>(data.width) * data.height * 4);
    for (uint32_t y = 0; y < data.height; ++y)
        for (uint32_t x = 0; x < data.width; ++x)
        {
            uint8_t* out = &rgba[(static_cast<size_t>(y) * data.width + x) * 4];
            if (data.format == kFontAlpha8)
                std::memset(out, data.pixels[static_cast<size_t>(y) * data.pitch + x], 4);
            else
                std::memcpy(out, &data.pixels[static_cast<size_t>(y) * data.pitch + 4 * x], 4);
        }
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = data.width;
    desc.Height = data.height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_IMMUTABLE;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA init = {rgba.data(), data.width * 4, 0};
    const bool ok = SUCCEEDED(device->CreateTexture2D(&desc, &init, &texture)) &&
                    SUCCEEDED(device->CreateShaderResourceView(texture, nullptr, &srv));
    MIREL_ASSERT(ok, __LINE__, "D3D error CreateTexture2D");
    if (!ok) Release();
    return ok;
}

void SpriteFont::Release()
{
    SafeRelease(srv);
    SafeRelease(texture);
    data = SpriteFontData();
}

bool SpriteBatch::Create(ID3D11Device* device, ID3D11DeviceContext* context)
{
    Release();
    if (!device || !context) return false;
    device_ = device;
    context_ = context;
    ID3DBlob* vsCode = Compile("mainVS", "vs_4_0");
    ID3DBlob* psCode = Compile("mainPS", "ps_4_0");
    bool ok = vsCode && psCode && states_.Create(device);
    if (ok)
    {
        const D3D11_INPUT_ELEMENT_DESC elements[] = {
            {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
            {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 8, D3D11_INPUT_PER_VERTEX_DATA, 0},
            {"COLOR", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 16, D3D11_INPUT_PER_VERTEX_DATA, 0},
        };
        ok = SUCCEEDED(device->CreateVertexShader(vsCode->GetBufferPointer(), vsCode->GetBufferSize(),
                                                  nullptr, &vs_)) &&
             SUCCEEDED(device->CreatePixelShader(psCode->GetBufferPointer(), psCode->GetBufferSize(), nullptr,
                                                 &ps_)) &&
             SUCCEEDED(device->CreateInputLayout(elements, 3, vsCode->GetBufferPointer(),
                                                 vsCode->GetBufferSize(), &layout_));
        MIREL_ASSERT(ok, __LINE__, "D3D error CreateShader");
    }
    SafeRelease(vsCode);
    SafeRelease(psCode);
    if (ok)
    {
        D3D11_BUFFER_DESC vb = {};
        vb.ByteWidth = sizeof(Vertex) * 4 * kMaxQuads;
        vb.Usage = D3D11_USAGE_DYNAMIC;
        vb.BindFlags = D3D11_BIND_VERTEX_BUFFER;
        vb.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
        std::vector<uint16_t> idx(6 * kMaxQuads);
        for (int q = 0; q < kMaxQuads; ++q)
        {
            const uint16_t v = static_cast<uint16_t>(4 * q);
            const uint16_t quad[6] = {v,
                                      static_cast<uint16_t>(v + 1),
                                      static_cast<uint16_t>(v + 2),
                                      static_cast<uint16_t>(v + 1),
                                      static_cast<uint16_t>(v + 3),
                                      static_cast<uint16_t>(v + 2)};
            std::memcpy(&idx[6 * q], quad, sizeof quad);
        }
        D3D11_BUFFER_DESC ib = {};
        ib.ByteWidth = static_cast<UINT>(idx.size() * sizeof(uint16_t));
        ib.Usage = D3D11_USAGE_IMMUTABLE;
        ib.BindFlags = D3D11_BIND_INDEX_BUFFER;
        D3D11_SUBRESOURCE_DATA init = {idx.data(), 0, 0};
        ok = SUCCEEDED(device->CreateBuffer(&vb, nullptr, &vertices_)) &&
             SUCCEEDED(device->CreateBuffer(&ib, &init, &indices_));
        MIREL_ASSERT(ok, __LINE__, "D3D error CreateBuffer");
    }
    if (!ok)
    {
        Release();
        return false;
    }
    queued_ = new Vertex[4 * kMaxQuads];
    return true;
}

void SpriteBatch::Release()
{
    delete[] queued_;
    queued_ = nullptr;
    queuedQuads_ = 0;
    SafeRelease(vs_);
    SafeRelease(ps_);
    SafeRelease(layout_);
    SafeRelease(vertices_);
    SafeRelease(indices_);
    states_.Release();
    device_ = nullptr;
    context_ = nullptr;
    font_ = nullptr;
    begun_ = false;
}

void SpriteBatch::Begin()
{
    MIREL_ASSERT(!begun_, __LINE__, "Begin called twice without End");
    begun_ = true;
    queuedQuads_ = 0;
    font_ = nullptr;
}

void SpriteBatch::DrawString(const SpriteFont& font, const char* text, float x, float y,
                             const float colour[4])
{
    MIREL_ASSERT(begun_, __LINE__, "DrawString outside Begin and End");
    if (!begun_ || !queued_ || !font.srv || !text || !context_) return;
    // One atlas per draw: a different font flushes what the previous one queued.
    if (font_ && font_ != &font) Flush();
    font_ = &font;

    D3D11_VIEWPORT vp = {};
    UINT count = 1;
    context_->RSGetViewports(&count, &vp);
    if (count == 0 || vp.Width <= 0.0f || vp.Height <= 0.0f) return;
    const float sx = 2.0f / vp.Width, sy = -2.0f / vp.Height;
    const float a = colour ? colour[3] : 1.0f;
    const float r = (colour ? colour[0] : 1.0f) * a, g = (colour ? colour[1] : 1.0f) * a,
                b = (colour ? colour[2] : 1.0f) * a;

    GlyphQuad quads[64];
    const char* rest = text;
    float pen = x;
    while (*rest)
    {
        // Lay out at most 64 characters at a time; the pen carries over.
        char chunk[65];
        size_t n = 0;
        while (n < 64 && rest[n])
            ++n;
        std::memcpy(chunk, rest, n);
        chunk[n] = '\0';
        rest += n;
        const int laid = LayoutLine(font.data, chunk, pen, y, quads, 64, &pen);
        for (int i = 0; i < laid; ++i)
        {
            if (queuedQuads_ == kMaxQuads) Flush();
            const GlyphQuad& q = quads[i];
            const float x0 = (q.x0 - vp.TopLeftX) * sx - 1.0f, x1 = (q.x1 - vp.TopLeftX) * sx - 1.0f;
            const float y0 = (q.y0 - vp.TopLeftY) * sy + 1.0f, y1 = (q.y1 - vp.TopLeftY) * sy + 1.0f;
            Vertex* v = &queued_[4 * queuedQuads_++];
            v[0] = {x0, y0, q.u0, q.v0, r, g, b, a};
            v[1] = {x1, y0, q.u1, q.v0, r, g, b, a};
            v[2] = {x0, y1, q.u0, q.v1, r, g, b, a};
            v[3] = {x1, y1, q.u1, q.v1, r, g, b, a};
        }
    }
}

void SpriteBatch::End()
{
    MIREL_ASSERT(begun_, __LINE__, "End called without Begin");
    Flush();
    begun_ = false;
    font_ = nullptr;
}

void SpriteBatch::Flush()
{
    if (queuedQuads_ == 0 || !font_ || !context_) return;
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    if (FAILED(context_->Map(vertices_, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped)))
    {
        MIREL_ASSERT(false, __LINE__, "D3D error Map");
        queuedQuads_ = 0;
        return;
    }
    std::memcpy(mapped.pData, queued_, sizeof(Vertex) * 4 * queuedQuads_);
    context_->Unmap(vertices_, 0);

    SavedState saved(context_);
    const UINT stride = sizeof(Vertex), offset = 0;
    context_->IASetInputLayout(layout_);
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context_->IASetVertexBuffers(0, 1, &vertices_, &stride, &offset);
    context_->IASetIndexBuffer(indices_, DXGI_FORMAT_R16_UINT, 0);
    context_->VSSetShader(vs_, nullptr, 0);
    context_->GSSetShader(nullptr, nullptr, 0);
    context_->PSSetShader(ps_, nullptr, 0);
    ID3D11ShaderResourceView* srv = font_->srv;
    context_->PSSetShaderResources(0, 1, &srv);
    context_->PSSetSamplers(0, 1, &states_.linearClamp);
    const FLOAT factor[4] = {0, 0, 0, 0};
    context_->OMSetBlendState(states_.alphaBlend, factor, 0xFFFFFFFFu);
    context_->OMSetDepthStencilState(states_.depthNone, 0);
    context_->RSSetState(states_.cullNone);
    context_->DrawIndexed(static_cast<UINT>(6 * queuedQuads_), 0, 0);
    queuedQuads_ = 0;
}

PlatformHUDOverlay::~PlatformHUDOverlay()
{
    PlatformHUDOverlay::OnRelease();
}

bool PlatformHUDOverlay::LoadFrom(const char* folder, ID3D11Device* device, ID3D11DeviceContext* context)
{
    OnRelease();
    char path[512];
    std::snprintf(path, sizeof path, "%s\\%s", folder ? folder : ".", "mirelFont.spritefont");
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe.is_open())
        {
            mirel::Assert(false, kResourcesFile, 2054, "Mirel Font not found");
            return false;
        }
    }
    batch = new SpriteBatch();
    font = new SpriteFont();
    if (!batch->Create(device, context) || !font->Load(device, path))
    {
        OnRelease();
        return false;
    }
    font->SetDefaultCharacter(font->data.Has(' ') ? ' ' : 0);
    return true;
}

void PlatformHUDOverlay::OnCreate()
{
    LoadFrom(mirel::GetExecutableDirectory(), CurrentD3DDevice(), CurrentContext());
}

void PlatformHUDOverlay::OnRelease()
{
    delete batch;
    batch = nullptr;
    delete font;
    font = nullptr;
}

void PlatformHUDOverlay::Draw(const mirel::TextList& list)
{
    if (!batch || !font) return;
    const int count =
        list.count < 0 ? 0 : (list.count > mirel::TextList::kSlots ? mirel::TextList::kSlots : list.count);
    const float x = std::trunc(list.x), y = std::trunc(list.y);
    for (int i = 0; i < count; ++i)
    {
        batch->Begin();
        batch->DrawString(*font, list.lines[i].text, x, y + 22.0f * static_cast<float>(i),
                          list.lines[i].colour);
        batch->End();
    }
}

} // namespace miResources
