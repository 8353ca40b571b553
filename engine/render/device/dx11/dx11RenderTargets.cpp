// Render targets with their depth and resolve textures, and the GPU-resource entries that give
// targets, textures and buffers to materials by name.
#include "render/device/dx11/dx11ResourceCommon.h"

#include "render/device/dx11/dx11Device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miResources
{

using namespace detail;

namespace
{
DXGI_FORMAT TypelessOf(uint32_t format)
{
    switch (format)
    {
    case DXGI_FORMAT_R8G8B8A8_UNORM:
        return DXGI_FORMAT_R8G8B8A8_TYPELESS;
    case DXGI_FORMAT_R16G16B16A16_FLOAT:
        return DXGI_FORMAT_R16G16B16A16_TYPELESS;
    case DXGI_FORMAT_R32_FLOAT:
        return DXGI_FORMAT_R32_TYPELESS;
    default:
        return DXGI_FORMAT_UNKNOWN;
    }
}
} // namespace

// ---- render targets

void PlatformRenderTarget::OnCreate()
{
    texture = nullptr;
    depthTexture = nullptr;
    depthView = nullptr;
    colorView = nullptr;
    colorSrv = nullptr;
    depthSrv = nullptr;
    borrowed = 0;
}

void PlatformRenderTarget::OnRelease()
{
    if (borrowed)
    {
        OnCreate();
        return;
    }
    SafeRelease(texture);
    SafeRelease(depthTexture);
    if (depthTargetId == -1)
        SafeRelease(depthView);
    else
        depthView = nullptr;
    SafeRelease(colorView);
    SafeRelease(colorSrv);
    SafeRelease(depthSrv);
}

void PlatformRenderTarget::Create(uint32_t w, uint32_t h, uint32_t fmt, bool hasDepth, int32_t samples)
{
    width = w;
    height = h;
    minDepth = 0.0f;
    maxDepth = 1.0f;
    left = top = 0;
    format = fmt;
    ID3D11Device* dev = CurrentD3DDevice();
    const DXGI_FORMAT typeless = TypelessOf(fmt);
    if (typeless == DXGI_FORMAT_UNKNOWN)
    {
        Fail(__LINE__, "Trying to use a render target format that isn't supported");
        return;
    }
    if (!dev) return;
    if (samples < 1) samples = 1;
    D3D11_TEXTURE2D_DESC td{};
    td.Width = w;
    td.Height = h;
    td.MipLevels = 1;
    td.ArraySize = 1;
    td.Format = typeless;
    td.SampleDesc.Count = static_cast<UINT>(samples);
    td.Usage = D3D11_USAGE_DEFAULT;
    td.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
    if (!Check(dev->CreateTexture2D(&td, nullptr, &texture), __LINE__, "D3D CreateTexture2D error")) return;
    const bool ms = samples >= 2;
    D3D11_RENDER_TARGET_VIEW_DESC rd{};
    rd.Format = static_cast<DXGI_FORMAT>(fmt);
    rd.ViewDimension = ms ? D3D11_RTV_DIMENSION_TEXTURE2DMS : D3D11_RTV_DIMENSION_TEXTURE2D;
    Check(dev->CreateRenderTargetView(texture, &rd, &colorView), __LINE__,
          "D3D CreateRenderTargetView error");
    if (depthTargetId != -1)
    {
        PlatformRenderTarget* owner = RenderTargets().FromHandle(depthTargetId);
        if (!owner)
            Fail(__LINE__, "Trying to use a depth target that doesn't exist");
        else
            depthView = owner->depthView;
    }
    else if (hasDepth)
    {
        D3D11_TEXTURE2D_DESC dd = td;
        dd.Format = DXGI_FORMAT_R32_TYPELESS;
        dd.BindFlags = D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE;
        if (Check(dev->CreateTexture2D(&dd, nullptr, &depthTexture), __LINE__, "D3D CreateTexture2D error"))
        {
            D3D11_DEPTH_STENCIL_VIEW_DESC dv{};
            dv.Format = DXGI_FORMAT_D32_FLOAT;
            dv.ViewDimension = samples <= 1 ? D3D11_DSV_DIMENSION_TEXTURE2D : D3D11_DSV_DIMENSION_TEXTURE2DMS;
            Check(dev->CreateDepthStencilView(depthTexture, &dv, &depthView), __LINE__,
                  "D3D CreateDepthStencilView error");
            D3D11_SHADER_RESOURCE_VIEW_DESC sv{};
            sv.Format = DXGI_FORMAT_R32_FLOAT;
            sv.ViewDimension = ms ? D3D11_SRV_DIMENSION_TEXTURE2DMS : D3D11_SRV_DIMENSION_TEXTURE2D;
            sv.Texture2D.MipLevels = 1;
            Check(dev->CreateShaderResourceView(depthTexture, &sv, &depthSrv), __LINE__,
                  "D3D CreateShaderResourceView error");
        }
    }
    D3D11_SHADER_RESOURCE_VIEW_DESC cs{};
    cs.Format = static_cast<DXGI_FORMAT>(fmt);
    cs.ViewDimension = ms ? D3D11_SRV_DIMENSION_TEXTURE2DMS : D3D11_SRV_DIMENSION_TEXTURE2D;
    cs.Texture2D.MipLevels = 1;
    Check(dev->CreateShaderResourceView(texture, &cs, &colorSrv), __LINE__,
          "D3D CreateShaderResourceView error");
}

void PlatformRenderTarget::Resolve(const char* targetName)
{
    PlatformRenderTarget* target = RenderTargets().Find(targetName);
    if (!target)
    {
        Fail(__LINE__, "Resolve, can't find render target");
        return;
    }
    if (CurrentContext() && texture && target->texture)
        CurrentContext()->ResolveSubresource(target->texture, 0, texture, 0,
                                             static_cast<DXGI_FORMAT>(target->format));
}

int32_t detail::MakeGpuResource(const char* name, uint32_t kind, int32_t refId, uint32_t writable)
{
    PlatformGPUResource* r = GpuResources().Find(name);
    if (!r) r = GpuResources().Create(name);
    if (!r) return -1;
    r->OnCreate();
    r->writable = writable;
    r->kind = kind;
    if (kind == kGpuTexture) r->textureId = refId;
    if (kind == kGpuRenderTargetColour) r->renderTargetId = refId;
    if (kind == kGpuRenderTargetDepth) r->depthRenderTargetId = refId;
    if (kind == kGpuStructuredBuffer) r->structuredBufferId = refId;
    r->Create();
    return r->handle;
}

int32_t CreateRenderTarget(const char* name, uint32_t width, uint32_t height, uint32_t format, bool hasDepth,
                           int32_t depthTargetId, int32_t samples)
{
    PlatformRenderTarget* rt = FindOrCreate(RenderTargets(), name);
    if (!rt) return -1;
    if (samples == -1)
        samples = CurrentDevice() ? static_cast<int32_t>(CurrentDevice()->settings.msaaSamples) : 1;
    rt->depthTargetId = depthTargetId;
    rt->Create(width, height, format, hasDepth, samples);
    MakeGpuResource(name, kGpuRenderTargetColour, rt->handle, 0);
    if (hasDepth)
    {
        char depthName[80];
        std::snprintf(depthName, sizeof depthName, "%s_depth", name);
        MakeGpuResource(depthName, kGpuRenderTargetDepth, rt->handle, 0);
    }
    return rt->handle;
}

int32_t CreateSwapChainTarget(const char* name)
{
    PlatformDevice* device = CurrentDevice();
    PlatformRenderTarget* rt = FindOrCreate(RenderTargets(), name);
    if (!rt || !device) return -1;
    rt->depthTargetId = -1;
    rt->width = device->settings.width;
    rt->height = device->settings.height;
    rt->format = DXGI_FORMAT_R8G8B8A8_UNORM;
    rt->borrowed = 1;
    rt->colorView = device->backBufferView;
    rt->depthView = device->depthView;
    MakeGpuResource(name, kGpuRenderTargetColour, rt->handle, 0);
    return rt->handle;
}

// ---- GPU resources

void PlatformGPUResource::OnCreate()
{
    writable = 0;
    kind = kGpuTexture;
    textureId = renderTargetId = depthRenderTargetId = structuredBufferId = -1;
    uav = nullptr;
    srv = nullptr;
}

void PlatformGPUResource::Create()
{
    switch (kind)
    {
    case kGpuStructuredBuffer:
        if (PlatformStructuredBuffer* b = StructuredBuffers().FromHandle(structuredBufferId))
        {
            srv = b->srv;
            uav = b->uav;
        }
        else
            Fail(__LINE__, "Structured buffer not found in GPU Resource");
        break;
    case kGpuTexture:
        if (PlatformTexture* t = Textures().FromHandle(textureId))
        {
            srv = t->srv;
            uav = t->uav;
        }
        else
            Fail(__LINE__, "Texture not found in GPU Resource");
        break;
    case kGpuRenderTargetColour:
        if (PlatformRenderTarget* rt = RenderTargets().FromHandle(renderTargetId))
            srv = rt->colorSrv;
        else
            Fail(__LINE__, "Render Target not found in GPU Resource");
        break;
    case kGpuRenderTargetDepth:
        if (PlatformRenderTarget* rt = RenderTargets().FromHandle(depthRenderTargetId))
            srv = rt->depthSrv;
        else
            Fail(__LINE__, "Render Target not found in GPU Resource");
        break;
    default:
        break;
    }
}

} // namespace miResources
