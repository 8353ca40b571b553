// DDS images: subresource layout of plain, block-compressed, extended-header and cube files, and
// refusal of anything that does not fit the bytes it has.
#include "render/dds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

using namespace miResources;

namespace
{
using Puts = std::initializer_list<std::pair<size_t, uint32_t>>;
void Put(std::vector<uint8_t>& b, Puts puts)
{
    for (const auto& [at, v] : puts)
        std::memcpy(b.data() + at, &v, 4);
}
uint32_t Cc(const char* s)
{
    return s[0] | s[1] << 8 | s[2] << 16 | static_cast<uint32_t>(s[3]) << 24;
}

// Header of a w x h image with mips levels; dx10Format != 0 adds the extended header.
std::vector<uint8_t> Header(uint32_t w, uint32_t h, uint32_t mips, const char* fourCC,
                            uint32_t dx10Format = 0, uint32_t misc = 0, uint32_t arraySize = 1)
{
    std::vector<uint8_t> b(dx10Format ? 148 : 128, 0);
    Put(b, {{0, Cc("DDS ")}, {4, 124}, {12, h}, {16, w}, {28, mips}, {76, 32}});
    if (fourCC)
        Put(b, {{80, 0x4}, {84, Cc(fourCC)}});
    else // 32-bit RGB with alpha
        Put(b, {{80, 0x41}, {88, 32}, {92, 0xFF}, {96, 0xFF00}, {100, 0xFF0000}, {104, 0xFF000000u}});
    if (dx10Format) Put(b, {{128, dx10Format}, {132, 3}, {136, misc}, {140, arraySize}});
    return b;
}

std::unique_ptr<DdsImage> Parse(const std::vector<uint8_t>& b)
{
    auto img = std::make_unique<DdsImage>();
    std::vector<uint8_t> exact(b);
    if (!ParseDds(exact.data(), exact.size(), *img)) return nullptr;
    return img;
}
} // namespace

TEST(Dds, PlainRgbaMipChainOffsets)
{
    auto b = Header(8, 4, 4, nullptr);
    b.resize(128 + (32 + 8 + 2 + 1) * 4);
    auto img = Parse(b);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->format, 28u);
    ASSERT_EQ(img->subresourceCount, 4u);
    const uint32_t widths[4] = {8, 4, 2, 1}, heights[4] = {4, 2, 1, 1};
    size_t offset = 128;
    for (int m = 0; m < 4; ++m)
    {
        const auto& r = img->subresources[m];
        EXPECT_EQ(std::make_tuple(r.offset, r.width, r.height, r.rowPitch),
                  std::make_tuple(offset, widths[m], heights[m], widths[m] * 4))
            << m;
        offset += widths[m] * heights[m] * 4;
    }
    b.pop_back();
    EXPECT_FALSE(Parse(b));
}

TEST(Dds, BlockCompressedPitchesRoundUpToBlocks)
{
    for (const auto& [fourCC, format, blockBytes] :
         {std::tuple{"DXT1", 71u, 8u}, std::tuple{"DXT5", 77u, 16u}, std::tuple{"ATI2", 83u, 16u}})
    {
        // 6 x 5 texels are 2 x 2 blocks; the 3 x 2 and 1 x 1 levels one block each.
        auto b = Header(6, 5, 3, fourCC);
        b.resize(128 + blockBytes * (4 + 1 + 1));
        auto img = Parse(b);
        ASSERT_TRUE(img) << fourCC;
        EXPECT_EQ(std::make_tuple(img->format, img->subresources[0].rowPitch, img->subresources[0].slicePitch,
                                  img->subresources[2].offset),
                  std::make_tuple(format, 2 * blockBytes, 4 * blockBytes, size_t{128 + 5 * blockBytes}));
    }
}

TEST(Dds, ExtendedHeaderCubeHasSixFacesInOrder)
{
    auto b = Header(4, 4, 1, "DX10", 28, 0x4, 1);
    b.resize(148 + 6 * 64);
    auto img = Parse(b);
    ASSERT_TRUE(img);
    EXPECT_TRUE(img->cube);
    EXPECT_EQ(img->arraySize, 6u);
    EXPECT_EQ(img->subresources[5].offset, 148u + 5 * 64);
    b.resize(b.size() - 64);
    EXPECT_FALSE(Parse(b));
}

TEST(Dds, RefusesWhatItCannotSize)
{
    auto sized = [](std::vector<uint8_t> b, size_t size)
    {
        b.resize(size);
        return b;
    };
    auto wrongMagic = sized(Header(4, 4, 1, nullptr), 128 + 64);
    wrongMagic[0] = 'X';
    const std::vector<uint8_t> bad[] = {
        {},
        std::vector<uint8_t>(127, 0),
        wrongMagic,
        sized(Header(4, 4, 1, "ABCD"), 1024),
        sized(Header(4, 4, 4, nullptr), 4096), // a 4 x 4 chain has 3 levels
        sized(Header(0x40000000u, 0x40000000u, 1, nullptr), 4096),
        sized(Header(0, 4, 1, nullptr), 4096),
        sized(Header(4, 4, 1, "DX10", 28, 0x4, 0x40000000u), 4096),
        sized(Header(4, 4, 1, "DX10", 28), 140), // the extended header cut
    };
    for (size_t i = 0; i < std::size(bad); ++i)
        EXPECT_FALSE(Parse(bad[i])) << "case " << i;
}
