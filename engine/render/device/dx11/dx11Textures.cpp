// Texture files: DDS through the project's own reader, everything else through the Windows
// Imaging Component, converted to 32-bit RGBA.
#include "render/dds.h"
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11Resources.h"
#include "render/device/dx11/dx11ResourceCommon.h"

#include <wincodec.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace miResources
{

namespace
{
bool ReadWholeFile(const wchar_t* path, std::vector<uint8_t>& out)
{
    std::FILE* f = _wfopen(path, L"rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long n = ok ? std::ftell(f) : -1;
    ok = ok && n >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok)
    {
        out.resize(static_cast<size_t>(n));
        ok = std::fread(out.data(), 1, out.size(), f) == out.size();
    }
    std::fclose(f);
    return ok;
}
} // namespace

HRESULT CreateDDSTextureFromFile(ID3D11Device* device, const wchar_t* path, ID3D11Resource** texture,
                                 ID3D11ShaderResourceView** view)
{
    if (!device || !path || !texture || !view) return E_INVALIDARG;
    *texture = nullptr;
    *view = nullptr;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    auto image = std::make_unique<DdsImage>();
    if (!ParseDds(bytes.data(), bytes.size(), *image) || image->volume) return E_FAIL;
    std::vector<D3D11_SUBRESOURCE_DATA> init(image->subresourceCount);
    for (uint32_t i = 0; i < image->subresourceCount; ++i)
        init[i] = {bytes.data() + image->subresources[i].offset, image->subresources[i].rowPitch,
                   image->subresources[i].slicePitch};
    D3D11_TEXTURE2D_DESC d{};
    d.Width = image->width;
    d.Height = image->height;
    d.MipLevels = image->mipCount;
    d.ArraySize = image->arraySize;
    d.Format = static_cast<DXGI_FORMAT>(image->format);
    d.SampleDesc.Count = 1;
    d.Usage = D3D11_USAGE_IMMUTABLE;
    d.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    d.MiscFlags = image->cube ? D3D11_RESOURCE_MISC_TEXTURECUBE : 0;
    ID3D11Texture2D* t = nullptr;
    HRESULT hr = device->CreateTexture2D(&d, init.data(), &t);
    if (FAILED(hr)) return hr;
    D3D11_SHADER_RESOURCE_VIEW_DESC sv{};
    sv.Format = d.Format;
    if (image->cube && image->arraySize == 6)
    {
        sv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURECUBE;
        sv.TextureCube.MipLevels = d.MipLevels;
    }
    else if (image->arraySize > 1)
    {
        sv.ViewDimension =
            image->cube ? D3D11_SRV_DIMENSION_TEXTURECUBEARRAY : D3D11_SRV_DIMENSION_TEXTURE2DARRAY;
        sv.Texture2DArray.MipLevels = d.MipLevels;
        sv.Texture2DArray.ArraySize = image->cube ? d.ArraySize / 6 : d.ArraySize;
    }
    else
    {
        sv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
        sv.Texture2D.MipLevels = d.MipLevels;
    }
    hr = device->CreateShaderResourceView(t, &sv, view);
    if (FAILED(hr))
    {
        t->Release();
        return hr;
    }
    *texture = t;
    return S_OK;
}

HRESULT CreateWICTextureFromFile(ID3D11Device* device, ID3D11DeviceContext*, const wchar_t* path,
                                 ID3D11Resource** texture, ID3D11ShaderResourceView** view)
{
    if (!device || !path || !texture || !view) return E_INVALIDARG;
    *texture = nullptr;
    *view = nullptr;
    // Already initialised on this thread (in either model) is fine.
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr))
        hr = factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                &decoder);
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
    if (SUCCEEDED(hr)) hr = factory->CreateFormatConverter(&converter);
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame, GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    UINT w = 0, h = 0;
    if (SUCCEEDED(hr)) hr = converter->GetSize(&w, &h);
    if (SUCCEEDED(hr) && (w == 0 || h == 0 || w > 16384 || h > 16384)) hr = E_FAIL;
    std::vector<uint8_t> pixels;
    if (SUCCEEDED(hr))
    {
        pixels.resize(static_cast<size_t>(w) * h * 4);
        hr = converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(pixels.size()), pixels.data());
    }
    if (SUCCEEDED(hr))
    {
        D3D11_TEXTURE2D_DESC d{};
        d.Width = w;
        d.Height = h;
        d.MipLevels = 1;
        d.ArraySize = 1;
        d.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        d.SampleDesc.Count = 1;
        d.Usage = D3D11_USAGE_IMMUTABLE;
        d.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        D3D11_SUBRESOURCE_DATA data{pixels.data(), w * 4, 0};
        ID3D11Texture2D* t = nullptr;
        hr = device->CreateTexture2D(&d, &data, &t);
        if (SUCCEEDED(hr)) hr = device->CreateShaderResourceView(t, nullptr, view);
        if (SUCCEEDED(hr))
            *texture = t;
        else
            SafeRelease(t);
    }
    SafeRelease(converter);
    SafeRelease(frame);
    SafeRelease(decoder);
    SafeRelease(factory);
    if (SUCCEEDED(init)) CoUninitialize();
    return hr;
}

} // namespace miResources

// ---- the texture pool's objects

namespace miResources
{

using namespace detail;

void PlatformTexture::OnCreate()
{
    data = nullptr;
    width = height = 0;
    gpuResourceId = -1;
    texture = nullptr;
    srv = nullptr;
    uav = nullptr;
}

void PlatformTexture::OnRelease()
{
    std::free(data);
    data = nullptr;
    SafeRelease(srv);
    SafeRelease(uav);
    SafeRelease(texture);
}

namespace
{
bool TexturePath(const char* name, wchar_t (&wide)[512], char (&narrow)[512])
{
    const char* root = mirel::GetAssetRoot();
    if (std::snprintf(narrow, sizeof narrow, "%s/%s/%s", root ? root : ".", "textures", name) >=
        static_cast<int>(sizeof narrow))
        return false;
    return MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, 512) > 0;
}

void RegisterTextureResource(PlatformTexture& t)
{
    if (GpuResources().Find(t.name))
    {
        mirel::Assert(false, kSource, __LINE__, "There is already a resource for this render target: %s",
                      t.name);
        return;
    }
    t.gpuResourceId = MakeGpuResource(t.name, kGpuTexture, t.handle, 0);
}

bool IsDds(const char* name)
{
    const char* ext = std::strrchr(name, '.');
    return ext && (std::strcmp(ext, ".dds") == 0 || std::strcmp(ext, ".DDS") == 0);
}
} // namespace

void PlatformTexture::LoadFile()
{
    wchar_t wide[512];
    char path[512];
    if (!TexturePath(name, wide, path)) return;
    ID3D11Device* dev = CurrentD3DDevice();
    if (IsDds(name))
    {
        if (FAILED(CreateDDSTextureFromFile(dev, wide, &texture, &srv)))
        {
            mirel::Assert(false, kSource, __LINE__, "Error Loading dds texture: CreateDDSTextureFromFile: %s",
                          path);
            return;
        }
    }
    else if (FAILED(CreateWICTextureFromFile(dev, CurrentContext(), wide, &texture, &srv)))
    {
        mirel::Assert(false, kSource, __LINE__, "Error Loading texture: CreateWICTextureFromFile: %s", path);
        return;
    }
    width = height = 256;
    RegisterTextureResource(*this);
}

void PlatformTexture::LoadDds()
{
    wchar_t wide[512];
    char path[512];
    if (!TexturePath(name, wide, path)) return;
    if (FAILED(CreateDDSTextureFromFile(CurrentD3DDevice(), wide, &texture, &srv)))
    {
        mirel::Assert(false, kSource, __LINE__, "Error Loading dds texture: CreateDDSTextureFromFile: %s",
                      path);
        return;
    }
    RegisterTextureResource(*this);
}

void PlatformTexture::CreateDynamic(uint32_t w, uint32_t h, uint32_t fmt)
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev) return;
    width = w;
    height = h;
    D3D11_TEXTURE2D_DESC td{};
    td.Width = w;
    td.Height = h;
    td.MipLevels = 1;
    td.ArraySize = 1;
    td.Format = static_cast<DXGI_FORMAT>(fmt);
    td.SampleDesc.Count = 1;
    td.Usage = D3D11_USAGE_DYNAMIC;
    td.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    td.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    ID3D11Texture2D* t = nullptr;
    if (!Check(dev->CreateTexture2D(&td, nullptr, &t), __LINE__, "Error creating Texture2D")) return;
    texture = t;
    D3D11_SHADER_RESOURCE_VIEW_DESC sv{};
    sv.Format = td.Format;
    sv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    sv.Texture2D.MipLevels = 1;
    if (!Check(dev->CreateShaderResourceView(t, &sv, &srv), __LINE__, "Error creating ShaderResourceView"))
        return;
    if (GpuResources().Find(name))
    {
        Fail(__LINE__, "Resource already exists");
        return;
    }
    gpuResourceId = MakeGpuResource(name, kGpuTexture, handle, 0);
}

void PlatformTexture::CreateWritable(uint32_t w, uint32_t h, uint32_t fmt)
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev) return;
    width = w;
    height = h;
    D3D11_TEXTURE2D_DESC td{};
    td.Width = w;
    td.Height = h;
    td.MipLevels = 1;
    td.ArraySize = 1;
    td.Format = static_cast<DXGI_FORMAT>(fmt);
    td.SampleDesc.Count = 1;
    td.Usage = D3D11_USAGE_DEFAULT;
    td.BindFlags = D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE;
    ID3D11Texture2D* t = nullptr;
    if (!Check(dev->CreateTexture2D(&td, nullptr, &t), __LINE__, "Error creating Texture2D")) return;
    texture = t;
    D3D11_SHADER_RESOURCE_VIEW_DESC sv{};
    sv.Format = td.Format;
    sv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    sv.Texture2D.MipLevels = 1;
    if (!Check(dev->CreateShaderResourceView(t, &sv, &srv), __LINE__, "Error creating ShaderResourceView"))
        return;
    D3D11_UNORDERED_ACCESS_VIEW_DESC uv{};
    uv.Format = td.Format;
    uv.ViewDimension = D3D11_UAV_DIMENSION_TEXTURE2D;
    if (!Check(dev->CreateUnorderedAccessView(t, &uv, &uav), __LINE__,
               "Error creating unordered access view"))
        return;
    PlatformGPUResource* existing = GpuResources().Find(name);
    if (existing && existing->srv)
    {
        Fail(__LINE__, "Resource already exists");
        return;
    }
    gpuResourceId = MakeGpuResource(name, kGpuTexture, handle, 1);
}

int32_t LoadTexture(const char* name)
{
    if (PlatformTexture* t = Textures().Find(name)) return t->handle;
    PlatformTexture* t = Textures().Create(name);
    if (!t) return -1;
    t->LoadFile();
    return t->handle;
}

} // namespace miResources
