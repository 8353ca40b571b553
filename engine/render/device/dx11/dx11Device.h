// The Direct3D 11 device: adapter and display mode, device and immediate context, swap chain
// with its back-buffer and depth views, presentation, the GPU timing ring and event markers.
#pragma once

#include "render/device/gpuquery.h"

#include <windows.h>

#include <d3d11.h>
#include <dxgi.h>

#include <cstdint>

namespace miResources
{

struct AdapterRecord
{
    uint32_t refreshNumerator;
    uint32_t refreshDenominator;
    uint32_t videoMemoryMB;
    char name[256];
};

struct RenderSettings
{
    uint8_t autoDetect = 0;
    uint8_t fullscreen = 0;
    uint8_t vsync = 0;
    uint8_t tripleBuffered = 0;
    uint32_t msaaSamples = 1;
    int32_t usedRefreshHz = 0;
    int32_t maxRefreshHz = 0;
    uint32_t width = 1280, height = 720;
    float minDepth = 0.0f, maxDepth = 1.0f;
    int32_t left = 0, top = 0;
    int32_t adapterCount = 0;
    int32_t adapterIndices[4] = {};
    AdapterRecord adapters[4] = {};
    // A test switch (debug.deviceLossAtPresent): that present reports a removed device.
    uint32_t deviceLossAtPresent = 0;
};

// Fills adapterCount and adapterIndices with the DXGI adapters that are not software ones.
void ListUsableAdapters(RenderSettings& settings);

struct Viewport
{
    uint32_t width, height;
    float minDepth, maxDepth;
    int32_t left, top;
};

class Device
{
  public:
    virtual ~Device() = default;
    virtual void Present() = 0;
    virtual void Resize(const RenderSettings& settings) = 0;
    virtual void Recreate() = 0;
    virtual void SetViewport(const Viewport& viewport) = 0;
    virtual void Init(HWND window, const RenderSettings& settings) = 0;
    virtual void Shutdown() = 0;
    virtual void CreateSwapChain() = 0;
    virtual void CreateDevice() = 0;
    virtual void SelectMode() = 0;
    virtual void LeaveFullscreen() = 0;
};

class PlatformDevice : public Device
{
  public:
    ~PlatformDevice() override;
    void Present() override;
    void Resize(const RenderSettings& settings) override;
    void Recreate() override;
    void SetViewport(const Viewport& viewport) override;
    void Init(HWND window, const RenderSettings& settings) override;
    void Shutdown() override;
    void CreateSwapChain() override;
    void CreateDevice() override;
    void SelectMode() override;
    void LeaveFullscreen() override;

    HWND window = nullptr;
    int32_t adapterSlot = 0;
    IDXGISwapChain* swapChain = nullptr;
    DXGI_SWAP_CHAIN_DESC swapChainDesc = {};
    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    RenderSettings settings;
    ID3D11Texture2D* depthTexture = nullptr;
    ID3D11RenderTargetView* backBufferView = nullptr;
    ID3D11DepthStencilView* depthView = nullptr;
    ID3D11Resource* backBuffer = nullptr;
    GpuQueryRing queryRing;
    uint32_t presents = 0;
};

// Releases and re-creates the device's GPU timing ring (its size is read again).
void RecreateQueryRing(PlatformDevice& device);

// True where hr says the device is gone; the first such result is reported once, with the
// driver's removal reason, and latched for the loop (see devicelost.h).
bool NoteDeviceLoss(HRESULT hr, const char* call);

// The first device initialised; every resource operation uses it.
PlatformDevice* CurrentDevice();
ID3D11Device* CurrentD3DDevice();
ID3D11DeviceContext* CurrentContext();

// Named event markers for GPU debugging tools, from the Direct3D 9 runtime when present.
class GPUPerf
{
  public:
    virtual ~GPUPerf() = default;
    virtual void BeginEvent(const char* name) = 0;
    virtual void EndEvent() = 0;
    virtual void Init(void* context, void* renderer) = 0;
};

class PlatformGPUPerf : public GPUPerf
{
  public:
    void BeginEvent(const char* name) override;
    void EndEvent() override;
    void Init(void* context, void* renderer) override;
    uint8_t enabled = 0;
};

template <typename T> void SafeRelease(T*& p)
{
    if (p)
    {
        p->Release();
        p = nullptr;
    }
}

} // namespace miResources
