#include "render/dds.h"

#include <cstring>

namespace miResources
{

namespace
{
uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
constexpr uint32_t FourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

constexpr uint32_t kMagic = FourCC('D', 'D', 'S', ' ');
constexpr uint32_t kPfFourCC = 0x4, kPfRgb = 0x40, kPfLuminance = 0x20000, kPfAlpha = 0x2;
constexpr uint32_t kCaps2Cubemap = 0x200, kCaps2AllFaces = 0xFC00, kCaps2Volume = 0x200000;
constexpr uint32_t kMiscTextureCube = 0x4;
constexpr uint32_t kDimTexture2D = 3, kDimTexture3D = 4;

// DXGI_FORMAT values used here.
enum : uint32_t
{
    kR32G32B32A32F = 2,
    kR16G16B16A16F = 10,
    kR16G16B16A16Unorm = 11,
    kR32G32F = 16,
    kR10G10B10A2 = 24,
    kR8G8B8A8 = 28,
    kR8G8B8A8Srgb = 29,
    kR16G16F = 34,
    kR32F = 41,
    kR16F = 54,
    kR8G8 = 49,
    kR16 = 56,
    kR8 = 61,
    kA8 = 65,
    kBC1 = 71,
    kBC1Srgb = 72,
    kBC2 = 74,
    kBC2Srgb = 75,
    kBC3 = 77,
    kBC3Srgb = 78,
    kBC4 = 80,
    kBC4S = 81,
    kBC5 = 83,
    kBC5S = 84,
    kB5G6R5 = 85,
    kB8G8R8A8 = 87,
    kB8G8R8X8 = 88,
    kB8G8R8A8Srgb = 91,
    kBC6HU = 95,
    kBC6HS = 96,
    kBC7 = 98,
    kBC7Srgb = 99,
};

uint32_t LegacyFormat(const uint8_t* pf)
{
    const uint32_t flags = U32(pf + 4), fourCC = U32(pf + 8), bits = U32(pf + 12);
    const uint32_t r = U32(pf + 16), g = U32(pf + 20), b = U32(pf + 24), a = U32(pf + 28);
    if (flags & kPfFourCC)
    {
        switch (fourCC)
        {
        case FourCC('D', 'X', 'T', '1'):
            return kBC1;
        case FourCC('D', 'X', 'T', '2'):
        case FourCC('D', 'X', 'T', '3'):
            return kBC2;
        case FourCC('D', 'X', 'T', '4'):
        case FourCC('D', 'X', 'T', '5'):
            return kBC3;
        case FourCC('A', 'T', 'I', '1'):
        case FourCC('B', 'C', '4', 'U'):
            return kBC4;
        case FourCC('B', 'C', '4', 'S'):
            return kBC4S;
        case FourCC('A', 'T', 'I', '2'):
        case FourCC('B', 'C', '5', 'U'):
            return kBC5;
        case FourCC('B', 'C', '5', 'S'):
            return kBC5S;
        case 36:
            return kR16G16B16A16Unorm;
        case 111:
            return kR16F;
        case 112:
            return kR16G16F;
        case 113:
            return kR16G16B16A16F;
        case 114:
            return kR32F;
        case 115:
            return kR32G32F;
        case 116:
            return kR32G32B32A32F;
        default:
            return 0;
        }
    }
    if (flags & kPfRgb)
    {
        if (bits == 32 && r == 0xFF && g == 0xFF00 && b == 0xFF0000 && a == 0xFF000000u) return kR8G8B8A8;
        if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF && a == 0xFF000000u) return kB8G8R8A8;
        if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF && a == 0) return kB8G8R8X8;
        if (bits == 32 && r == 0x3FF && g == 0xFFC00 && b == 0x3FF00000 && a == 0xC0000000u)
            return kR10G10B10A2;
        if (bits == 16 && r == 0xF800 && g == 0x7E0 && b == 0x1F) return kB5G6R5;
        return 0;
    }
    if (flags & kPfLuminance)
    {
        if (bits == 8 && r == 0xFF) return kR8;
        if (bits == 16 && r == 0xFFFF) return kR16;
        if (bits == 16 && r == 0xFF && a == 0xFF00) return kR8G8;
        return 0;
    }
    if ((flags & kPfAlpha) && bits == 8) return kA8;
    return 0;
}
} // namespace

uint32_t DdsFormatBytes(uint32_t format, bool& blockCompressed)
{
    blockCompressed = false;
    switch (format)
    {
    case kBC1:
    case kBC1Srgb:
    case kBC4:
    case kBC4S:
        blockCompressed = true;
        return 8;
    case kBC2:
    case kBC2Srgb:
    case kBC3:
    case kBC3Srgb:
    case kBC5:
    case kBC5S:
    case kBC6HU:
    case kBC6HS:
    case kBC7:
    case kBC7Srgb:
        blockCompressed = true;
        return 16;
    case kR32G32B32A32F:
        return 16;
    case kR16G16B16A16F:
    case kR16G16B16A16Unorm:
    case kR32G32F:
        return 8;
    case kR10G10B10A2:
    case kR8G8B8A8:
    case kR8G8B8A8Srgb:
    case kR16G16F:
    case kR32F:
    case kB8G8R8A8:
    case kB8G8R8X8:
    case kB8G8R8A8Srgb:
        return 4;
    case kR16F:
    case kR8G8:
    case kR16:
    case kB5G6R5:
        return 2;
    case kR8:
    case kA8:
        return 1;
    default:
        return 0;
    }
}

bool ParseDds(const uint8_t* bytes, size_t size, DdsImage& out)
{
    out = DdsImage();
    if (!bytes || size < 128 || U32(bytes) != kMagic || U32(bytes + 4) != 124 || U32(bytes + 76) != 32)
        return false;
    const uint8_t* h = bytes + 4;
    uint32_t height = U32(h + 8), width = U32(h + 12), depth = U32(h + 20), mips = U32(h + 24);
    const uint8_t* pf = h + 72;
    const uint32_t caps2 = U32(h + 108);
    size_t at = 128;
    uint32_t arraySize = 1;
    bool cube = false, volume = false;
    uint32_t format = 0;
    if ((U32(pf + 4) & kPfFourCC) && U32(pf + 8) == FourCC('D', 'X', '1', '0'))
    {
        if (size < 148) return false;
        format = U32(bytes + 128);
        const uint32_t dim = U32(bytes + 132), misc = U32(bytes + 136);
        arraySize = U32(bytes + 140);
        at = 148;
        if (dim == kDimTexture3D)
            volume = true;
        else if (dim != kDimTexture2D)
            return false;
        if (misc & kMiscTextureCube)
        {
            cube = true;
            if (arraySize > 0xFFFFFFFFu / 6) return false;
            arraySize *= 6;
        }
    }
    else
    {
        format = LegacyFormat(pf);
        if (caps2 & kCaps2Cubemap)
        {
            // Partial cube maps cannot become a cube texture.
            if ((caps2 & kCaps2AllFaces) != kCaps2AllFaces) return false;
            cube = true;
            arraySize = 6;
        }
        volume = (caps2 & kCaps2Volume) != 0;
    }
    if (!volume) depth = 1;
    if (mips == 0) mips = 1;
    bool bc = false;
    const uint32_t unit = DdsFormatBytes(format, bc);
    if (unit == 0 || width == 0 || height == 0 || depth == 0 || arraySize == 0) return false;
    if (width > 16384 || height > 16384 || depth > 2048 || mips > 15 || (volume && arraySize != 1))
        return false;
    // A chain longer than the largest dimension allows has levels of size 0.
    uint32_t largest = width > height ? width : height;
    if (volume && depth > largest) largest = depth;
    uint32_t maxMips = 1;
    while ((largest >> maxMips) > 0)
        ++maxMips;
    if (mips > maxMips) return false;
    if (static_cast<uint64_t>(arraySize) * mips > DdsImage::kMaxSubresources) return false;

    out.format = format;
    out.width = width;
    out.height = height;
    out.depth = depth;
    out.mipCount = mips;
    out.arraySize = arraySize;
    out.cube = cube;
    out.volume = volume;
    for (uint32_t item = 0; item < arraySize; ++item)
    {
        uint32_t w = width, hgt = height, d = depth;
        for (uint32_t m = 0; m < mips; ++m)
        {
            uint64_t rowPitch, rows;
            if (bc)
            {
                rowPitch = static_cast<uint64_t>((w + 3) / 4) * unit;
                rows = (hgt + 3) / 4;
            }
            else
            {
                rowPitch = static_cast<uint64_t>(w) * unit;
                rows = hgt;
            }
            const uint64_t slice = rowPitch * rows;
            const uint64_t levelBytes = slice * d;
            if (levelBytes > size - at) return out = DdsImage(), false;
            DdsSubresource& s = out.subresources[out.subresourceCount++];
            s.offset = at;
            s.width = w;
            s.height = hgt;
            s.rowPitch = static_cast<uint32_t>(rowPitch);
            s.slicePitch = static_cast<uint32_t>(slice);
            at += static_cast<size_t>(levelBytes);
            w = w > 1 ? w / 2 : 1;
            hgt = hgt > 1 ? hgt / 2 : 1;
            d = d > 1 ? d / 2 : 1;
        }
    }
    return true;
}

} // namespace miResources
