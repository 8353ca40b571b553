// DDS file images: header, optional extended header, and where each subresource's texels lie.
// Portable: the device layer turns the result into a texture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace miResources
{

struct DdsSubresource
{
    size_t offset; // from the start of the image
    uint32_t width, height;
    uint32_t rowPitch;   // bytes per row of texels (or of 4x4 blocks)
    uint32_t slicePitch; // bytes of the whole mip level
};

struct DdsImage
{
    static constexpr uint32_t kMaxSubresources = 6 * 16 * 16;

    uint32_t format = 0; // DXGI_FORMAT
    uint32_t width = 0, height = 0, depth = 1;
    uint32_t mipCount = 1;
    uint32_t arraySize = 1; // cube maps: faces x cubes
    bool cube = false;
    bool volume = false;
    uint32_t subresourceCount = 0; // arraySize x mipCount, in Direct3D subresource order
    DdsSubresource subresources[kMaxSubresources];
};

// Parses and validates a whole file image; every subresource lies inside it. False for anything
// malformed, truncated or of a format it cannot size.
bool ParseDds(const uint8_t* bytes, size_t size, DdsImage& out);

// Bytes per texel (uncompressed) or per 4x4 block (block-compressed); 0 for formats it does not
// know. blockCompressed tells which.
uint32_t DdsFormatBytes(uint32_t format, bool& blockCompressed);

} // namespace miResources
