// Constant, structured and dynamic vertex buffers.
#include "render/device/dx11/dx11ResourceCommon.h"

#include "render/device/dx11/dx11Device.h"
#include "compute/computecontext.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miResources
{

using namespace detail;

// ---- constant buffers

void PlatformConstantBuffer::OnCreate()
{
    registerSlot = -1;
    byteSize = 0;
    data = nullptr;
    buffer = nullptr;
}

void PlatformConstantBuffer::OnRelease()
{
    SafeRelease(buffer);
}

void PlatformConstantBuffer::Create()
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev || byteSize <= 0) return;
    D3D11_BUFFER_DESC d{};
    d.ByteWidth = static_cast<UINT>((byteSize + 15) / 16 * 16);
    d.Usage = D3D11_USAGE_DYNAMIC;
    d.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    d.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    if (!Check(dev->CreateBuffer(&d, nullptr, &buffer), __LINE__, "D3D error CreateBuffer")) return;
    Upload();
}

void PlatformConstantBuffer::Upload()
{
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!ctx || !buffer || !data) return;
    D3D11_MAPPED_SUBRESOURCE m{};
    if (FAILED(ctx->Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &m))) return;
    std::memcpy(m.pData, data, static_cast<size_t>(byteSize));
    ctx->Unmap(buffer, 0);
}

int32_t CreateConstantBuffer(const char* name, int32_t registerSlot, int32_t byteSize, void* data)
{
    PlatformConstantBuffer* cb = FindOrCreate(ConstantBuffers(), name);
    if (!cb) return -1;
    cb->registerSlot = registerSlot;
    cb->byteSize = byteSize;
    cb->data = data;
    cb->Create();
    return cb->handle;
}

// ---- structured buffers

namespace
{

// Bytes of one element of a typed buffer's view; 0 for a format no buffer here is viewed as.
UINT TypedElementBytes(uint32_t format)
{
    switch (format)
    {
    case DXGI_FORMAT_R32_FLOAT:
    case DXGI_FORMAT_R32_UINT:
    case DXGI_FORMAT_R32_SINT:
        return 4;
    case DXGI_FORMAT_R32G32_FLOAT:
    case DXGI_FORMAT_R32G32_UINT:
    case DXGI_FORMAT_R32G32_SINT:
        return 8;
    case DXGI_FORMAT_R32G32B32A32_FLOAT:
    case DXGI_FORMAT_R32G32B32A32_UINT:
    case DXGI_FORMAT_R32G32B32A32_SINT:
        return 16;
    default:
        return 0;
    }
}

} // namespace

void PlatformStructuredBuffer::OnCreate()
{
    writable = 0;
    numElems = stride = 0;
    gpuResourceId = -1;
    initialContent = 0;
    readable = 0;
    readPointer = nullptr;
    typedFormat = 0;
    buffer = nullptr;
    uav = nullptr;
    srv = nullptr;
    staging = nullptr;
    cpuCopy = nullptr;
}

void PlatformStructuredBuffer::OnRelease()
{
    SafeRelease(uav);
    SafeRelease(srv);
    SafeRelease(buffer);
    SafeRelease(staging);
    std::free(cpuCopy);
    cpuCopy = nullptr;
    readPointer = nullptr;
}

void PlatformStructuredBuffer::Create()
{
    if (numElems < 1)
    {
        Fail(__LINE__, "Structured buffer num elems <= 0");
        return;
    }
    if (stride < 1)
    {
        Fail(__LINE__, "Structured buffer stride <= 0");
        return;
    }
    ID3D11Device* dev = CurrentD3DDevice();
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!dev || !ctx) return;
    const UINT bytes = static_cast<UINT>(stride) * static_cast<UINT>(numElems);
    // The typed form views the same bytes in elements of its format.
    const bool typed = typedFormat != 0;
    const UINT elementBytes = typed ? TypedElementBytes(typedFormat) : static_cast<UINT>(stride);
    const UINT elements = elementBytes ? bytes / elementBytes : 0;
    if (typed && (elements == 0 || bytes % elementBytes != 0))
    {
        Fail(__LINE__, "Structured buffer stride <= 0");
        return;
    }
    D3D11_BUFFER_DESC d{};
    d.ByteWidth = bytes;
    d.Usage = D3D11_USAGE_DEFAULT;
    d.BindFlags = D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE;
    d.MiscFlags = typed ? 0 : D3D11_RESOURCE_MISC_BUFFER_STRUCTURED;
    d.StructureByteStride = typed ? 0 : static_cast<UINT>(stride);
    if (!Check(dev->CreateBuffer(&d, nullptr, &buffer), __LINE__, "D3D error CreateBuffer")) return;
    const DXGI_FORMAT viewFormat = typed ? static_cast<DXGI_FORMAT>(typedFormat) : DXGI_FORMAT_UNKNOWN;
    if (writable)
    {
        D3D11_UNORDERED_ACCESS_VIEW_DESC u{};
        u.Format = viewFormat;
        u.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
        u.Buffer.FirstElement = 0;
        u.Buffer.NumElements = elements;
        Check(dev->CreateUnorderedAccessView(buffer, &u, &uav), __LINE__,
              "D3D error CreateUnorderedAccessView");
    }
    D3D11_SHADER_RESOURCE_VIEW_DESC s{};
    s.Format = viewFormat;
    s.ViewDimension = D3D11_SRV_DIMENSION_BUFFER;
    s.Buffer.FirstElement = 0;
    s.Buffer.NumElements = elements;
    Check(dev->CreateShaderResourceView(buffer, &s, &srv), __LINE__, "D3D error CreateShaderResourceView");
    if (initialContent != 2)
    {
        if (typed)
        {
            // A clear through a float-format view converts the value instead of copying its
            // bits, so the typed form is filled byte for byte.
            void* fill = std::malloc(bytes);
            if (fill)
            {
                std::memset(fill, initialContent == 1 ? 0xFF : 0, bytes);
                ctx->UpdateSubresource(buffer, 0, nullptr, fill, bytes, bytes);
            }
            std::free(fill);
        }
        else if (uav)
        {
            const UINT v = initialContent == 1 ? 0xFFFFFFFFu : 0u;
            const UINT values[4] = {v, v, v, v};
            ctx->ClearUnorderedAccessViewUint(uav, values);
        }
        else
        {
            void* zeros = std::calloc(bytes, 1);
            if (zeros) ctx->UpdateSubresource(buffer, 0, nullptr, zeros, bytes, bytes);
            std::free(zeros);
        }
    }
    if (readable)
    {
        D3D11_BUFFER_DESC sd = d;
        sd.Usage = D3D11_USAGE_STAGING;
        sd.BindFlags = 0;
        sd.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        Check(dev->CreateBuffer(&sd, nullptr, &staging), __LINE__, "D3D error CreateBuffer");
    }
    PlatformGPUResource* entry = GpuResources().Find(name);
    if (entry && entry->srv)
    {
        mirel::Assert(false, kSource, __LINE__, "Gpu resource already exists: %s", name);
        return;
    }
    gpuResourceId = MakeGpuResource(name, kGpuStructuredBuffer, handle, writable);
}

void* PlatformStructuredBuffer::ReadBack()
{
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!staging || !ctx) return nullptr;
    ctx->CopyResource(staging, buffer);
    D3D11_MAPPED_SUBRESOURCE m{};
    if (!Check(ctx->Map(staging, 0, D3D11_MAP_READ, 0, &m), __LINE__, "D3D error Map")) return nullptr;
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(numElems);
    if (!cpuCopy) cpuCopy = static_cast<uint8_t*>(std::malloc(bytes));
    if (cpuCopy) std::memcpy(cpuCopy, m.pData, bytes);
    ctx->Unmap(staging, 0);
    readPointer = cpuCopy;
    return readPointer;
}

// ---- dynamic vertex buffers

void PlatformDynamicVertexBuffer::OnCreate()
{
    count = stride = 0;
    data = nullptr;
    buffer = nullptr;
}

void PlatformDynamicVertexBuffer::OnRelease()
{
    SafeRelease(buffer);
}

void PlatformDynamicVertexBuffer::Create()
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev || count == 0 || stride == 0) return;
    D3D11_BUFFER_DESC d{};
    d.ByteWidth = stride * count;
    d.Usage = D3D11_USAGE_DYNAMIC;
    d.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    d.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    D3D11_SUBRESOURCE_DATA init{data, 0, 0};
    Check(dev->CreateBuffer(&d, data ? &init : nullptr, &buffer), __LINE__, "D3D error CreateBuffer");
}

void PlatformDynamicVertexBuffer::Update(uint32_t n, const void* newData)
{
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!ctx || !buffer || !newData) return;
    // The buffer was sized for count vertices; more would be written past its end.
    if (n > count) n = count;
    D3D11_MAPPED_SUBRESOURCE m{};
    if (FAILED(ctx->Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &m))) return;
    std::memcpy(m.pData, newData, static_cast<size_t>(stride) * n);
    ctx->Unmap(buffer, 0);
}

} // namespace miResources
