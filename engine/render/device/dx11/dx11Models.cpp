// Model buffers: vertices, depth-only positions and one index buffer per surface.
#include "render/device/dx11/dx11ResourceCommon.h"

#include "render/device/dx11/dx11Device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miResources
{

using namespace detail;

// ---- models

void PlatformModel::OnCreate()
{
    Model::OnCreate();
    vertexBuffer = nullptr;
    positionBuffer = nullptr;
    indexBuffers = nullptr;
}

void PlatformModel::OnRelease()
{
    if (indexBuffers)
    {
        for (int32_t i = 0; i < surfaceCount; ++i)
            SafeRelease(indexBuffers[i]);
        delete[] indexBuffers;
        indexBuffers = nullptr;
    }
    Model::OnRelease();
    SafeRelease(vertexBuffer);
    SafeRelease(positionBuffer);
}

namespace
{
ID3D11Buffer* ImmutableBuffer(UINT bind, const void* data, size_t bytes)
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev || bytes == 0 || bytes > 0xFFFFFFFFu) return nullptr;
    D3D11_BUFFER_DESC d{};
    d.ByteWidth = static_cast<UINT>(bytes);
    d.Usage = D3D11_USAGE_IMMUTABLE;
    d.BindFlags = bind;
    D3D11_SUBRESOURCE_DATA init{data, 0, 0};
    ID3D11Buffer* b = nullptr;
    Check(dev->CreateBuffer(&d, &init, &b), __LINE__, "D3D error CreateBuffer");
    return b;
}
} // namespace

void PlatformModel::Create()
{
    vertexBuffer =
        ImmutableBuffer(D3D11_BIND_VERTEX_BUFFER, vertices, static_cast<size_t>(stride) * vertexCount);
    if (stride >= 12 && vertexCount > 0)
    {
        float* positions = new float[static_cast<size_t>(vertexCount) * 3];
        for (uint32_t v = 0; v < vertexCount; ++v)
            std::memcpy(positions + 3 * v, vertices + static_cast<size_t>(v) * stride, 12);
        positionBuffer =
            ImmutableBuffer(D3D11_BIND_VERTEX_BUFFER, positions, 12 * static_cast<size_t>(vertexCount));
        delete[] positions;
    }
    positionStride = 12;
    depthLayout = 2;
    indexBuffers = new ID3D11Buffer*[static_cast<size_t>(surfaceCount > 0 ? surfaceCount : 1)]();
    for (int32_t i = 0; i < surfaceCount; ++i)
        if (surfaces[i].indices && surfaces[i].indexCount > 0)
            indexBuffers[i] = ImmutableBuffer(D3D11_BIND_INDEX_BUFFER, surfaces[i].indices,
                                              4 * static_cast<size_t>(surfaces[i].indexCount));
}

} // namespace miResources
