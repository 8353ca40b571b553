// What the Windows tests share: a window and a device on it, a material made in code, and the
// pixels of a render target read back on the CPU through a staging copy (RGBA8, rows packed).
#pragma once

#include "core/utils.h"
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11Resources.h"

#include <windows.h>

#include <d3d11.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

// The pixels of a texture of the current device, through a staging copy; zeros where the copy
// cannot be made.
inline std::vector<uint8_t> ReadPixels(ID3D11Resource* resource)
{
    miResources::PlatformDevice& d = *miResources::CurrentDevice();
    D3D11_TEXTURE2D_DESC desc{};
    if (resource) static_cast<ID3D11Texture2D*>(resource)->GetDesc(&desc);
    std::vector<uint8_t> pixels(static_cast<size_t>(desc.Width) * desc.Height * 4);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = desc.MiscFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ID3D11Texture2D* staging = nullptr;
    D3D11_MAPPED_SUBRESOURCE m{};
    if (!resource || FAILED(d.device->CreateTexture2D(&desc, nullptr, &staging))) return pixels;
    d.context->CopyResource(staging, resource);
    if (SUCCEEDED(d.context->Map(staging, 0, D3D11_MAP_READ, 0, &m)))
    {
        for (uint32_t y = 0; y < desc.Height; ++y)
            std::memcpy(&pixels[static_cast<size_t>(y) * desc.Width * 4],
                        static_cast<const uint8_t*>(m.pData) + static_cast<size_t>(y) * m.RowPitch,
                        desc.Width * 4);
        d.context->Unmap(staging, 0);
    }
    staging->Release();
    return pixels;
}

struct Pixel
{
    uint8_t r, g, b, a;
};

// The pixel at (x, y) of a texture of the current device; zeros when it cannot be read.
inline Pixel PixelAt(ID3D11Resource* resource, uint32_t x, uint32_t y)
{
    D3D11_TEXTURE2D_DESC desc{};
    static_cast<ID3D11Texture2D*>(resource)->GetDesc(&desc);
    const std::vector<uint8_t> px = ReadPixels(resource);
    const size_t at = (static_cast<size_t>(y) * desc.Width + x) * 4;
    Pixel p{};
    if (x < desc.Width && at + 4 <= px.size()) std::memcpy(&p, &px[at], 4);
    return p;
}

// A window with a client area of w x h (of a system class: its messages need no handling here).
inline HWND TestWindow(const wchar_t* name, uint32_t w, uint32_t h, bool shown = true)
{
    RECT r{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    return CreateWindowExW(0, L"STATIC", name, WS_OVERLAPPEDWINDOW | (shown ? WS_VISIBLE : 0), 0, 0,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

// The device layer installed and a device on the window, sized w x h afterwards because the mode
// choice may pick the desktop's size.
inline void OpenDevice(miResources::PlatformDevice& device, HWND window, uint32_t w, uint32_t h)
{
    miResources::InstallDx11Resources();
    miResources::RenderSettings s;
    miResources::ListUsableAdapters(s);
    s.width = w, s.height = h;
    device.Init(window, s);
    s = device.settings;
    s.width = w, s.height = h;
    device.Resize(s);
}

inline std::string LastReport()
{
    char buf[1024];
    return mirel::LastAssertMessage(buf, sizeof buf);
}

inline ::testing::AssertionResult LastReportHas(const char* text)
{
    const std::string last = LastReport();
    if (last.find(text) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the last report is: " << last;
}

// A suite's window of w x h and a device on it, over a private empty asset root, with quiet
// reports counted afresh for each test; the per-frame constants the pipes bind are there.
template <uint32_t W, uint32_t H, bool Shown = true> class DeviceSuite : public ::testing::Test
{
  public:
    static void SetUpTestSuite()
    {
        mirel::SetAssertEcho(false);
        root =
            std::filesystem::temp_directory_path() / ("mirel-test-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(root);
        mirel::SetAssetRoot(root.generic_string().c_str());
        window = TestWindow(L"MirelTest", W, H, Shown);
        device = new miResources::PlatformDevice;
        mirel::ResetAssertReports();
        OpenDevice(*device, window, W, H);
        static float perFrame[16] = {};
        miResources::CreateConstantBuffer("perFrame", 0, 64, perFrame);
    }
    static void TearDownTestSuite()
    {
        miResources::ClearDx11Resources();
        delete device;
        DestroyWindow(window);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
        mirel::SetAssertEcho(true);
    }
    void SetUp() override { mirel::ResetAssertReports(); }

    static inline std::filesystem::path root;
    static inline HWND window = nullptr;
    static inline miResources::PlatformDevice* device = nullptr;
};

// A configuration and one material drawing with it, made in code; constants (16 bytes) go to b4.
inline int32_t MakeMaterial(const char* name, const char* shader, const char* layout, float* constants)
{
    using namespace miResources;
    PlatformMaterialCfg* cfg = static_cast<PlatformMaterialCfg*>(MaterialCfgs().Create(name));
    // Solid, no culling, all channels written, the source copied (one, zero), depth always passing;
    // the pixel and vertex stages, triangle lists.
    cfg->fillMode = 3, cfg->cullMode = 1, cfg->depthClip = 1, cfg->writeMask = 0xF, cfg->depthFunc = 8;
    cfg->blendOp = cfg->blendOpAlpha = 1, cfg->srcBlend = cfg->srcBlendAlpha = 2;
    cfg->destBlend = cfg->destBlendAlpha = 1, cfg->stageMask = 3, cfg->topology = 4;
    cfg->layout = FindVertexLayout(layout);
    cfg->samplers[0][0] = SamplerRecord{1, 0, 3, 3, 3, 1, 0.0f, 1000.0f};
    std::snprintf(cfg->shaderName, sizeof cfg->shaderName, "%s", name);
    cfg->source = strdup(shader);
    cfg->Create();
    Material* m = MaterialManager().Create(name);
    m->configId = cfg->handle;
    if (constants)
        m->constantBufferId =
            CreateConstantBuffer((std::string(name) + "_matConst").c_str(), 4, 16, constants);
    return m->handle;
}
