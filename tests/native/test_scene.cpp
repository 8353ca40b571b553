// The demo renderer's overlay slots' factories and the three enabling states as loading finishes;
// and the generated scene textures as the device layer will read them.
#include "cadoraviews.h"
#include "render/dds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace miRender;

namespace
{

RenderView* FakeFactory()
{
    return nullptr;
}

TEST(SceneViews, OnlyTheForeignSlotsTakeFactoriesAndLoadingSetsTheEnabledViews)
{
    for (int32_t i = -1; i <= kCadoraViewCount; ++i)
    {
        const bool foreign = i == kViewLoadScreen || (i >= kViewRedbar && i < kCadoraViewCount);
        EXPECT_EQ(SetCadoraViewFactory(i, FakeFactory), foreign) << i;
        EXPECT_EQ(CadoraViewFactory(i), foreign ? &FakeFactory : nullptr) << i;
        SetCadoraViewFactory(i, nullptr);
        EXPECT_EQ(CadoraViewFactory(i), nullptr) << i;
    }
    // The views enabled before, the load progress, whether the scene is ready and the graph
    // switched on; the views enabled after. The renderer's test drives the other combinations
    // through its loading flags.
    const std::tuple<const char*, float, bool, bool, const char*> cases[] = {
        // Building, even when marked ready: the load screen alone.
        {"1111111111", 0.9f, true, true, "1000000000"},
        // Built, fading out: the scene without the overlays, even with the graph switched on.
        {"1000000000", 1.0f, false, true, "1111110000"},
        // Ready: the load screen off, the scene passes keep their flags, the overlays on, the graph
        // follows its switch.
        {"1101010001", 1.1f, true, false, "0101011110"},
    };
    for (const auto& [before, progress, ready, snappy, after] : cases)
    {
        bool e[kCadoraViewCount];
        std::transform(before, before + kCadoraViewCount, e, [](char c) { return c == '1'; });
        ApplyViewStates(e, progress, ready, snappy);
        std::string got;
        for (bool b : e)
            got += b ? '1' : '0';
        EXPECT_EQ(got, after) << before << " " << progress << " " << ready << snappy;
    }
}

// Mean of one channel over a level.
double Mean(const std::vector<uint8_t>& bytes, const miResources::DdsSubresource& s, int channel)
{
    double sum = 0;
    for (uint32_t y = 0; y < s.height; ++y)
        for (uint32_t x = 0; x < s.width; ++x)
            sum += bytes[s.offset + y * s.rowPitch + x * 4 + channel];
    return sum / (s.width * s.height);
}

// Full mip chains whose box-filtered levels keep the top level's average colour; the ground is
// grass, the sky blue at the zenith and grey at the nadir.
TEST(SceneTextures, FullMipChainsOfGrassAndSky)
{
    const std::tuple<const char*, uint32_t, uint32_t, bool> cases[] = {{"textures/ground.dds", 256, 9, false},
                                                                       {"textures/skycube.dds", 64, 7, true}};
    std::vector<uint8_t> bytes[2];
    auto img = std::make_unique<miResources::DdsImage[]>(2);
    for (int i = 0; i < 2; ++i)
    {
        const auto& [file, size, mips, cube] = cases[i];
        std::ifstream in(std::string(MIREL_SOURCE_ASSETS) + "/" + file, std::ios::binary);
        bytes[i].assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_TRUE(miResources::ParseDds(bytes[i].data(), bytes[i].size(), img[i])) << file;
        EXPECT_EQ(std::make_tuple(img[i].format, img[i].width, img[i].mipCount, img[i].cube),
                  std::make_tuple(28u, size, mips, cube)) // 28: R8G8B8A8_UNORM
            << file;
        const uint32_t faces = cube ? 6 : 1;
        ASSERT_EQ(img[i].subresourceCount, faces * mips);
        const auto& last = img[i].subresources[img[i].subresourceCount - 1];
        EXPECT_EQ(last.offset + last.slicePitch, bytes[i].size()) << file << ": trailing or missing bytes";
        for (uint32_t f = 0; f < faces; ++f)
        {
            const auto& top = img[i].subresources[f * mips];
            const auto& tip = img[i].subresources[f * mips + mips - 1];
            EXPECT_EQ(tip.width, 1u);
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_NEAR(Mean(bytes[i], tip, ch), Mean(bytes[i], top, ch), 2.0) << file << " face " << f;
        }
    }
    const auto& grass = img[0].subresources[0];
    EXPECT_GT(Mean(bytes[0], grass, 1), std::max(Mean(bytes[0], grass, 0), Mean(bytes[0], grass, 2)));
    // Faces +X -X +Y -Y +Z -Z.
    const std::vector<uint8_t>& sky = bytes[1];
    const auto& up = img[1].subresources[2 * img[1].mipCount];
    const auto& down = img[1].subresources[3 * img[1].mipCount];
    EXPECT_GT(Mean(sky, up, 2), Mean(sky, up, 0) + 40);
    EXPECT_LT(Mean(sky, down, 2) - Mean(sky, down, 0), 20);
}

} // namespace
