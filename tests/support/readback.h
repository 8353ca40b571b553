// Pixels of a render target read back on the CPU through a staging copy (RGBA8, rows packed);
// empty when the copy cannot be made.
#pragma once

#include <d3d11.h>

#include <cstdint>
#include <cstring>
#include <vector>

inline std::vector<uint8_t> ReadPixels(ID3D11Device* device, ID3D11DeviceContext* context,
                                       ID3D11Resource* resource, uint32_t* width = nullptr)
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
    if (width) *width = desc.Width;
    return pixels;
}

// The four bytes of the pixel at (x, y) into rgba; false (rgba untouched) when it cannot be read.
inline bool ReadPixelAt(ID3D11Device* device, ID3D11DeviceContext* context, ID3D11Resource* resource,
                        uint32_t x, uint32_t y, void* rgba)
{
    uint32_t width = 0;
    const std::vector<uint8_t> px = ReadPixels(device, context, resource, &width);
    const size_t at = (static_cast<size_t>(y) * width + x) * 4;
    if (x >= width || at + 4 > px.size()) return false;
    std::memcpy(rgba, &px[at], 4);
    return true;
}
