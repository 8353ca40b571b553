// The DDS reader on arbitrary bytes: every subresource it reports lies inside the image.
#include "render/dds.h"

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto image = std::make_unique<miResources::DdsImage>();
    if (!miResources::ParseDds(data, size, *image)) return 0;
    for (uint32_t i = 0; i < image->subresourceCount; ++i)
    {
        const auto& s = image->subresources[i];
        // A volume's levels halve in depth as well.
        const uint32_t mip = i % image->mipCount;
        const uint64_t depth = image->volume && (image->depth >> mip) > 1 ? (image->depth >> mip) : 1;
        if (s.offset + static_cast<uint64_t>(s.slicePitch) * depth > size) __builtin_trap();
        volatile uint8_t last = s.slicePitch ? data[s.offset + s.slicePitch - 1] : 0;
        (void)last;
    }
    return 0;
}
