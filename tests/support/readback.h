// What the Windows tests share: a window and a device on it, a material made in code, and the
// pixels of a render target read back on the CPU through a staging copy (RGBA8, rows packed).
#pragma once

#include "core/utils.h"
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11Resources.h"

#include <windows.h>

#include <d3d11.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Empty when the copy cannot be made.
inline std::vector<uint8_t> ReadPixels(ID3D11Device* device, ID3D11DeviceContext* context,
                                       ID3D11Resource* resource)
{
    std::vector<uint8_t> pixels;
    ID3D11Texture2D* texture = nullptr;
    if (!resource ||
        FAILED(resource->QueryInterface(__uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&texture))))
        return pixels;
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    ID3D11Texture2D* staging = nullptr;
    if (SUCCEEDED(device->CreateTexture2D(&desc, nullptr, &staging)))
    {
        context->CopyResource(staging, texture);
        D3D11_MAPPED_SUBRESOURCE m{};
        if (SUCCEEDED(context->Map(staging, 0, D3D11_MAP_READ, 0, &m)))
        {
            pixels.resize(static_cast<size_t>(desc.Width) * desc.Height * 4);
            for (uint32_t y = 0; y < desc.Height; ++y)
                std::memcpy(&pixels[static_cast<size_t>(y) * desc.Width * 4],
                            static_cast<const uint8_t*>(m.pData) + static_cast<size_t>(y) * m.RowPitch,
                            desc.Width * 4);
            context->Unmap(staging, 0);
        }
        staging->Release();
    }
    texture->Release();
    return pixels;
}

struct Pixel
{
    uint8_t r, g, b, a;
};

// The pixel at (x, y) of a texture of the current device; zeros when it cannot be read.
inline Pixel PixelAt(ID3D11Resource* resource, uint32_t x, uint32_t y)
{
    miResources::PlatformDevice& d = *miResources::CurrentDevice();
    D3D11_TEXTURE2D_DESC desc{};
    static_cast<ID3D11Texture2D*>(resource)->GetDesc(&desc);
    const std::vector<uint8_t> px = ReadPixels(d.device, d.context, resource);
    const size_t at = (static_cast<size_t>(y) * desc.Width + x) * 4;
    Pixel p{};
    if (x < desc.Width && at + 4 <= px.size()) std::memcpy(&p, &px[at], 4);
    return p;
}

// A window with a client area of w x h.
inline HWND TestWindow(const wchar_t* name, uint32_t w, uint32_t h, bool shown = true)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    RECT r{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    return CreateWindowExW(0, name, name, WS_OVERLAPPEDWINDOW | (shown ? WS_VISIBLE : 0), 0, 0,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
}

// The device layer installed and a device on the window, sized w x h afterwards because the mode
// choice may pick the desktop's size.
inline void OpenDevice(miResources::PlatformDevice& device, HWND window, uint32_t w, uint32_t h)
{
    miResources::InstallDx11Resources();
    miResources::RenderSettings s;
    miResources::ListUsableAdapters(s);
    s.width = w;
    s.height = h;
    device.Init(window, s);
    s = device.settings;
    s.width = w;
    s.height = h;
    device.Resize(s);
}

// A configuration and one material drawing with it, made in code; constants (16 bytes) go to b4.
inline int32_t MakeMaterial(const char* name, const char* shader, const char* layout, float* constants)
{
    using namespace miResources;
    PlatformMaterialCfg* cfg = static_cast<PlatformMaterialCfg*>(MaterialCfgs().Create(name));
    cfg->fillMode = 3;
    cfg->cullMode = 1;
    cfg->depthClip = 1;
    cfg->writeMask = 0xF;
    cfg->blendOp = cfg->blendOpAlpha = 1;
    cfg->srcBlend = cfg->srcBlendAlpha = 2;
    cfg->destBlend = cfg->destBlendAlpha = 1;
    cfg->depthFunc = 8;
    cfg->stageMask = 3;
    cfg->layout = FindVertexLayout(layout);
    cfg->topology = 4;
    cfg->samplers[0][0] = SamplerRecord{1, 0, 3, 3, 3, 1, 0.0f, 1000.0f};
    std::snprintf(cfg->shaderName, sizeof cfg->shaderName, "%s", name);
    cfg->source = static_cast<char*>(std::malloc(std::strlen(shader) + 1));
    std::strcpy(cfg->source, shader);
    cfg->Create();
    Material* m = MaterialManager().Create(name);
    m->configId = cfg->handle;
    if (constants)
        m->constantBufferId =
            CreateConstantBuffer((std::string(name) + "_matConst").c_str(), 4, 16, constants);
    return m->handle;
}

// Kept for people to look at, in MIREL_TEST_OUTPUT or beside the program.
inline void SaveImage(const char* name, const std::vector<uint8_t>& px, uint32_t w, uint32_t h)
{
    const char* out = std::getenv("MIREL_TEST_OUTPUT");
    const std::string path = std::string(out && *out ? out : mirel::GetExecutableDirectory()) + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%u %u\n255\n", w, h);
    for (size_t i = 0; i + 4 <= px.size(); i += 4)
        std::fwrite(&px[i], 1, 3, f);
    std::fclose(f);
    std::printf("image: %s\n", path.c_str());
}
