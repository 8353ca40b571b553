#include "render/device/dx11/dx11Device.h"

#include "core/props.h"
#include "render/device/devicelost.h"
#include "render/device/modeselect.h"
#include "core/utils.h"

#include <cstring>
#include <vector>

namespace miResources
{

namespace
{
PlatformDevice* g_current = nullptr;

void Check(HRESULT hr, int line, const char* message)
{
    if (FAILED(hr) && !NoteDeviceLoss(hr, message)) MIREL_ASSERT(false, line, "%s", message);
}

void Narrow(const WCHAR* wide, char (&out)[256])
{
    out[0] = '\0';
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, out, sizeof out, nullptr, nullptr) == 0) out[0] = '\0';
    out[255] = '\0';
}

class D3DQuerySource final : public GpuQuerySource
{
  public:
    bool CreateQueries(QuerySet& set) override
    {
        ID3D11Device* dev = CurrentD3DDevice();
        if (!dev) return false;
        D3D11_QUERY_DESC event{D3D11_QUERY_EVENT, 0}, stamp{D3D11_QUERY_TIMESTAMP, 0};
        ID3D11Query *e = nullptr, *s = nullptr, *f = nullptr;
        HRESULT hr = dev->CreateQuery(&event, &e);
        Check(hr, __LINE__, "D3D CreateQuery query error");
        hr = dev->CreateQuery(&stamp, &s);
        Check(hr, __LINE__, "D3D CreateQuery start error");
        hr = dev->CreateQuery(&stamp, &f);
        Check(hr, __LINE__, "D3D CreateQuery end error");
        set.eventQuery = e;
        set.startQuery = s;
        set.endQuery = f;
        return e && s && f;
    }
    void ReleaseQueries(QuerySet& set) override
    {
        for (void** q : {&set.eventQuery, &set.startQuery, &set.endQuery})
        {
            if (*q) static_cast<ID3D11Query*>(*q)->Release();
            *q = nullptr;
        }
    }
    void Timestamp(void* query) override
    {
        if (query && CurrentContext()) CurrentContext()->End(static_cast<ID3D11Query*>(query));
    }
    Result ReadTimestamp(void* query, uint64_t& ticks) override
    {
        if (!query || !CurrentContext()) return kFailed;
        const HRESULT hr =
            CurrentContext()->GetData(static_cast<ID3D11Query*>(query), &ticks, sizeof ticks, 0);
        if (hr == S_OK) return kReady;
        return hr == S_FALSE ? kNotReady : kFailed;
    }
    double MeasureFrequency() override
    {
        ID3D11Device* dev = CurrentD3DDevice();
        ID3D11DeviceContext* ctx = CurrentContext();
        if (!dev || !ctx) return 0.0;
        D3D11_QUERY_DESC desc{D3D11_QUERY_TIMESTAMP_DISJOINT, 0};
        ID3D11Query* q = nullptr;
        if (FAILED(dev->CreateQuery(&desc, &q))) return 0.0;
        ctx->Begin(q);
        ctx->End(q);
        ctx->Flush();
        D3D11_QUERY_DATA_TIMESTAMP_DISJOINT data{};
        HRESULT hr;
        while ((hr = ctx->GetData(q, &data, sizeof data, 0)) == S_FALSE)
        {
        }
        q->Release();
        return hr == S_OK ? static_cast<double>(data.Frequency) : 0.0;
    }
};
D3DQuerySource g_querySource;

using BeginEventFn = int(WINAPI*)(DWORD, LPCWSTR);
using EndEventFn = int(WINAPI*)();
BeginEventFn g_beginEvent = nullptr;
EndEventFn g_endEvent = nullptr;
HMODULE g_d3d9 = nullptr;
} // namespace

PlatformDevice* CurrentDevice()
{
    return g_current;
}

void RecreateQueryRing(PlatformDevice& d)
{
    d.queryRing.ReleaseRing();
    if (d.device) d.queryRing.CreateRing(&g_querySource);
}
ID3D11Device* CurrentD3DDevice()
{
    return g_current ? g_current->device : nullptr;
}
ID3D11DeviceContext* CurrentContext()
{
    return g_current ? g_current->context : nullptr;
}

void ListUsableAdapters(RenderSettings& settings)
{
    settings.adapterCount = 0;
    IDXGIFactory* factory = nullptr;
    if (FAILED(CreateDXGIFactory(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory))))
    {
        MIREL_ASSERT(false, __LINE__, "Can't create DXGI factory");
        return;
    }
    IDXGIAdapter* adapter = nullptr;
    for (UINT i = 0; factory->EnumAdapters(i, &adapter) != DXGI_ERROR_NOT_FOUND; ++i)
    {
        DXGI_ADAPTER_DESC desc{};
        const HRESULT hr = adapter->GetDesc(&desc);
        adapter->Release();
        Check(hr, __LINE__, "Error adapter get desc failed");
        if (FAILED(hr)) continue;
        char name[256];
        Narrow(desc.Description, name);
        if (std::strstr(name, "Microsoft")) continue;
        // Four slots, indexed by DXGI index.
        if (i > 3 || settings.adapterCount >= 4) continue;
        settings.adapterIndices[settings.adapterCount++] = static_cast<int32_t>(i);
    }
    factory->Release();
}

PlatformDevice::~PlatformDevice()
{
    Shutdown();
}

bool NoteDeviceLoss(HRESULT hr, const char* call)
{
    const uint32_t result = static_cast<uint32_t>(hr);
    if (!IsDeviceLoss(result)) return false;
    if (!LatchDeviceLoss(result)) return true;
    const HRESULT reason = g_current && g_current->device ? g_current->device->GetDeviceRemovedReason() : hr;
    char failed[40], why[40];
    FormatDeviceResult(result, failed, sizeof failed);
    FormatDeviceResult(static_cast<uint32_t>(reason), why, sizeof why);
    MIREL_ASSERT(false, __LINE__,
                 "The graphics device was lost: %s returned %s, removal reason %s. The demo ends.", call,
                 failed, why);
    return true;
}

void PlatformDevice::Init(HWND w, const RenderSettings& s)
{
    window = w;
    settings = s;
    if (!g_current) g_current = this;
    CreateSwapChain();
    Resize(settings);
    SetViewport(Viewport{settings.width, settings.height, settings.minDepth, settings.maxDepth, settings.left,
                         settings.top});
}

void PlatformDevice::SelectMode()
{
    const UINT adapterIndex =
        static_cast<UINT>(AdapterRecordIndex(settings.adapterIndices, settings.adapterCount, adapterSlot));
    IDXGIFactory* factory = nullptr;
    IDXGIAdapter* adapter = nullptr;
    IDXGIOutput* output = nullptr;
    if (FAILED(CreateDXGIFactory(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory))))
    {
        MIREL_ASSERT(false, __LINE__, "Can't create DXGI factory");
        return;
    }
    HRESULT hr = factory->EnumAdapters(adapterIndex, &adapter);
    Check(hr, __LINE__, "Error enum adapter");
    if (SUCCEEDED(hr))
    {
        hr = adapter->EnumOutputs(adapterIndex, &output);
        // Windows with one output per adapter number it 0; the adapter index only names it on
        // the first adapter, so fall back to the adapter's first output.
        if (FAILED(hr) && adapterIndex != 0) hr = adapter->EnumOutputs(0, &output);
        Check(hr, __LINE__, "Error EnumOutputs");
    }
    std::vector<DisplayMode> modes;
    if (output)
    {
        UINT count = 0;
        const UINT flags = DXGI_ENUM_MODES_INTERLACED;
        hr = output->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM, flags, &count, nullptr);
        Check(hr, __LINE__, "Error get display mode list");
        std::vector<DXGI_MODE_DESC> list(count);
        if (SUCCEEDED(hr) && count > 0)
        {
            hr = output->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM, flags, &count, list.data());
            Check(hr, __LINE__, "Error get display mode list");
            if (SUCCEEDED(hr))
                for (UINT i = 0; i < count; ++i)
                    modes.push_back({list[i].Width, list[i].Height, list[i].RefreshRate.Numerator,
                                     list[i].RefreshRate.Denominator});
        }
    }
    mirel::PropertyType type;
    const float desired = mirel::PropertyTypeOf("render_init.monitorRefresh", &type)
                              ? mirel::GetPropertyFloat("render_init.monitorRefresh", -1.0f)
                              : -1.0f;
    DisplayMode closest{};
    if (!FindClosestMatchingMode(modes.data(), static_cast<int32_t>(modes.size()), settings.width,
                                 settings.height, closest))
        MIREL_ASSERT(false, __LINE__,
                     "Can't find fullscreen video mode that matches the desired resolution: %d, %d ",
                     static_cast<int>(settings.width), static_cast<int>(settings.height));
    else
    {
        settings.width = closest.width;
        settings.height = closest.height;
    }
    const RefreshChoice choice = ChooseRefresh(modes.data(), static_cast<int32_t>(modes.size()),
                                               settings.width, settings.height, desired);
    settings.usedRefreshHz = choice.usedRefreshHz;
    settings.maxRefreshHz = choice.maxRefreshHz;
    AdapterRecord& record = settings.adapters[adapterIndex];
    record.refreshNumerator = choice.numerator;
    record.refreshDenominator = choice.denominator;
    if (adapter)
    {
        DXGI_ADAPTER_DESC desc{};
        hr = adapter->GetDesc(&desc);
        Check(hr, __LINE__, "Error adapter get desc failed");
        if (SUCCEEDED(hr))
        {
            record.videoMemoryMB = static_cast<uint32_t>(desc.DedicatedVideoMemory / (1024 * 1024));
            Narrow(desc.Description, record.name);
        }
    }
    SafeRelease(output);
    SafeRelease(adapter);
    SafeRelease(factory);
}

void PlatformDevice::CreateDevice()
{
    SelectMode();
    const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_11_0;
    const HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, &level, 1,
                                         D3D11_SDK_VERSION, &device, nullptr, &context);
    Check(hr, __LINE__, "Error creating D3D device");
    if (FAILED(hr)) return;
    queryRing.CreateRing(&g_querySource);
}

void PlatformDevice::CreateSwapChain()
{
    CreateDevice();
    if (!device) return;
    IDXGIDevice* dxgiDevice = nullptr;
    IDXGIAdapter* adapter = nullptr;
    IDXGIFactory* factory = nullptr;
    HRESULT hr = device->QueryInterface(__uuidof(IDXGIDevice), reinterpret_cast<void**>(&dxgiDevice));
    Check(hr, __LINE__, "D3D QueryInterface error");
    if (SUCCEEDED(hr))
    {
        hr = dxgiDevice->GetAdapter(&adapter);
        Check(hr, __LINE__, "D3d Get Adapter error");
    }
    if (adapter)
    {
        hr = adapter->GetParent(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory));
        Check(hr, __LINE__, "D3D GetParent error");
    }
    const int32_t slot = adapterSlot >= 0 && adapterSlot < 4 ? adapterSlot : 0;
    const int32_t adapterIndex = settings.adapterCount > 0 ? settings.adapterIndices[slot] : 0;
    const AdapterRecord& record = settings.adapters[adapterIndex >= 0 && adapterIndex < 4 ? adapterIndex : 0];
    DXGI_SWAP_CHAIN_DESC& d = swapChainDesc;
    d = DXGI_SWAP_CHAIN_DESC{};
    d.BufferDesc.Width = settings.width;
    d.BufferDesc.Height = settings.height;
    // The unchosen refresh (all bits set) would ask for an impossible rate: leave it to DXGI.
    const bool chosen = record.refreshNumerator != kRefreshUnchosen;
    d.BufferDesc.RefreshRate.Numerator = chosen ? record.refreshNumerator : 0;
    d.BufferDesc.RefreshRate.Denominator = chosen ? record.refreshDenominator : 1;
    d.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;
    d.BufferDesc.ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_PROGRESSIVE;
    d.BufferDesc.Scaling = DXGI_MODE_SCALING_UNSPECIFIED;
    d.SampleDesc.Count = 1;
    d.SampleDesc.Quality = 0;
    d.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    d.BufferCount = SwapChainBufferCount(settings.fullscreen, settings.tripleBuffered, settings.vsync);
    d.OutputWindow = window;
    d.Windowed = settings.fullscreen ? FALSE : TRUE;
    d.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    d.Flags = DXGI_SWAP_CHAIN_FLAG_ALLOW_MODE_SWITCH;
    if (factory)
    {
        hr = factory->CreateSwapChain(device, &d, &swapChain);
        Check(hr, __LINE__, "D3D error CreateSwapChain");
    }
    SafeRelease(dxgiDevice);
    SafeRelease(adapter);
    SafeRelease(factory);
    if (!swapChain) return;
    hr = swapChain->SetFullscreenState(settings.fullscreen ? TRUE : FALSE, nullptr);
    Check(hr, __LINE__, "Can't set swapchain fullscreen state");
}

void PlatformDevice::Resize(const RenderSettings& s)
{
    if (!device || !context) return;
    settings = s;
    if (!swapChain) return;
    SafeRelease(depthTexture);
    SafeRelease(backBufferView);
    SafeRelease(depthView);
    SafeRelease(backBuffer);
    context->ClearState();
    context->OMSetRenderTargets(0, nullptr, nullptr);
    HRESULT hr = swapChain->ResizeBuffers(
        SwapChainBufferCount(settings.fullscreen, settings.tripleBuffered, settings.vsync), settings.width,
        settings.height, DXGI_FORMAT_R8G8B8A8_UNORM, 0);
    Check(hr, __LINE__, "D3D Resize buffers error");
    if (FAILED(hr)) return;
    DXGI_SWAP_CHAIN_DESC current{};
    swapChain->GetDesc(&current);
    swapChainDesc = current;
    const bool ms = current.SampleDesc.Count > 1;
    D3D11_TEXTURE2D_DESC td{};
    td.Width = settings.width;
    td.Height = settings.height;
    td.MipLevels = 1;
    td.ArraySize = 1;
    td.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
    td.SampleDesc = current.SampleDesc;
    td.Usage = D3D11_USAGE_DEFAULT;
    td.BindFlags = D3D11_BIND_DEPTH_STENCIL;
    hr = device->CreateTexture2D(&td, nullptr, &depthTexture);
    Check(hr, __LINE__, "D3D error CreateTexture2D");
    ID3D11Texture2D* buffer = nullptr;
    hr = swapChain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&buffer));
    Check(hr, __LINE__, "D3D GetBuffer error");
    if (buffer)
    {
        D3D11_RENDER_TARGET_VIEW_DESC rd{};
        rd.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        rd.ViewDimension = ms ? D3D11_RTV_DIMENSION_TEXTURE2DMS : D3D11_RTV_DIMENSION_TEXTURE2D;
        hr = device->CreateRenderTargetView(buffer, &rd, &backBufferView);
        Check(hr, __LINE__, "D3D error CreateRenderTargetView");
    }
    if (depthTexture)
    {
        D3D11_DEPTH_STENCIL_VIEW_DESC dd{};
        dd.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
        dd.ViewDimension = ms ? D3D11_DSV_DIMENSION_TEXTURE2DMS : D3D11_DSV_DIMENSION_TEXTURE2D;
        hr = device->CreateDepthStencilView(depthTexture, &dd, &depthView);
        Check(hr, __LINE__, "D3D CreateDepthStencilView error");
    }
    D3D11_VIEWPORT vp{0.0f, 0.0f, static_cast<float>(settings.width), static_cast<float>(settings.height),
                      0.0f, 1.0f};
    context->RSSetViewports(1, &vp);
    if (backBufferView) backBufferView->GetResource(&backBuffer);
    SafeRelease(buffer);
}

void PlatformDevice::SetViewport(const Viewport& v)
{
    if (!context) return;
    D3D11_VIEWPORT vp{static_cast<float>(v.left),
                      static_cast<float>(v.top),
                      static_cast<float>(v.width),
                      static_cast<float>(v.height),
                      v.minDepth,
                      v.maxDepth};
    context->RSSetViewports(1, &vp);
}

void PlatformDevice::Present()
{
    if (!swapChain || DeviceLossResult()) return;
    HRESULT hr = swapChain->Present(settings.vsync ? 1 : 0, 0);
    if (settings.deviceLossAtPresent && ++presents == settings.deviceLossAtPresent)
        hr = static_cast<HRESULT>(kDxgiErrorDeviceRemoved);
    NoteDeviceLoss(hr, "Present");
}

void PlatformDevice::Shutdown()
{
    queryRing.ReleaseRing();
    if (swapChain)
    {
        const HRESULT hr = swapChain->SetFullscreenState(FALSE, nullptr);
        Check(hr, __LINE__, "Can't set swapchain fullscreen state");
        SafeRelease(depthTexture);
        SafeRelease(backBufferView);
        SafeRelease(depthView);
    }
    SafeRelease(backBuffer);
    SafeRelease(swapChain);
    if (context) context->ClearState();
    SafeRelease(context);
    SafeRelease(device);
    if (g_current == this) g_current = nullptr;
}

void PlatformDevice::Recreate()
{
    const RenderSettings keep = settings;
    HWND w = window;
    const bool wasCurrent = g_current == this;
    Shutdown();
    if (wasCurrent) g_current = nullptr;
    Init(w, keep);
}

void PlatformDevice::LeaveFullscreen()
{
    if (!swapChain) return;
    BOOL full = FALSE;
    if (FAILED(swapChain->GetFullscreenState(&full, nullptr)) || !full) return;
    swapChain->SetFullscreenState(FALSE, nullptr);
    // What automated runs check: the swap chain's own answer afterwards.
    if (SUCCEEDED(swapChain->GetFullscreenState(&full, nullptr)) && !full) mirel::Trace("left full screen");
}

void PlatformGPUPerf::Init(void*, void*)
{
    if (!g_d3d9) g_d3d9 = LoadLibraryW(L"d3d9.dll");
    if (g_d3d9)
    {
        g_beginEvent = reinterpret_cast<BeginEventFn>(
            reinterpret_cast<void*>(GetProcAddress(g_d3d9, "D3DPERF_BeginEvent")));
        g_endEvent =
            reinterpret_cast<EndEventFn>(reinterpret_cast<void*>(GetProcAddress(g_d3d9, "D3DPERF_EndEvent")));
    }
    enabled = g_beginEvent && g_endEvent ? 1 : 0;
}

void PlatformGPUPerf::BeginEvent(const char* name)
{
    if (!enabled) return;
    WCHAR wide[256];
    wide[0] = 0;
    if (name && std::strlen(name) < 256) MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 256);
    g_beginEvent(0, wide);
}

void PlatformGPUPerf::EndEvent()
{
    if (enabled) g_endEvent();
}

} // namespace miResources
