// The demo renderer's view list: order, names and targets, the overlay slots' factories, the
// three enabling states as loading finishes; and the generated scene textures as the device
// layer will read them.
#include "cadoraviews.h"
#include "render/dds.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace miRender;

namespace
{

TEST(SceneViews, NamesAndTargetsInListOrder)
{
    const struct
    {
        int32_t index;
        const char* name;
        const char* target;
    } expected[] = {
        {kViewLoadScreen, "ls", "swapChain"},
        {kViewShadow, "FP_Shadow_RV", "cascade0"},
        {kViewZPrepass, "mainSceneZPrepass", "worldZ"},
        {kViewOpaque, "mainSceneOpaque", "hdrMain"},
        {kViewSky, "Sky_RV", "hdrMain"},
        {kViewAtmosphere, "atmosphere", "swapChain"},
        {kViewRedbar, "Redbar_RV", "redbar"},
        {kViewGui, "Gui_RV", "swapChain"},
        {kViewDebug, "Debug_RV", "swapChain"},
        {kViewSnappy, "Snappy_RV", "swapChain"},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], static_cast<size_t>(kCadoraViewCount));
    for (int32_t i = 0; i < kCadoraViewCount; ++i)
    {
        EXPECT_EQ(expected[i].index, i);
        EXPECT_STREQ(kCadoraViewNames[i], expected[i].name) << i;
        EXPECT_STREQ(kCadoraViewTargets[i], expected[i].target) << i;
    }
}

RenderView* FakeFactory()
{
    return nullptr;
}

TEST(SceneViews, OnlyTheForeignSlotsTakeFactories)
{
    for (int32_t i = -1; i <= kCadoraViewCount; ++i)
    {
        const bool foreign = i == kViewLoadScreen || (i >= kViewRedbar && i < kCadoraViewCount);
        EXPECT_EQ(SetCadoraViewFactory(i, FakeFactory), foreign) << i;
        EXPECT_EQ(CadoraViewFactory(i), foreign ? &FakeFactory : nullptr) << i;
        SetCadoraViewFactory(i, nullptr);
        EXPECT_EQ(CadoraViewFactory(i), nullptr) << i;
    }
}

std::string Flags(const bool (&e)[kCadoraViewCount])
{
    std::string s;
    for (bool b : e)
        s += b ? '1' : '0';
    return s;
}

TEST(SceneViews, EnablingStatesAsLoadingFinishes)
{
    const struct
    {
        const char* before;
        float progress;
        bool ready, snappy;
        const char* after;
    } cases[] = {
        // Building: the load screen alone, whatever was on before.
        {"1111111111", 0.0f, false, false, "1000000000"},
        {"1111111111", 0.9f, true, true, "1000000000"},
        // Built, fading out: the scene without the overlays, even with the graph switched on.
        {"1000000000", 1.1f, false, true, "1111110000"},
        {"1000000000", 1.0f, false, false, "1111110000"},
        // Ready: overlays on, the graph follows its switch, the scene passes keep their flags.
        {"1111110000", 1.1f, true, false, "0111111110"},
        {"1111110000", 1.1f, true, true, "0111111111"},
        {"0101010001", 1.1f, true, false, "0101011110"},
    };
    for (const auto& c : cases)
    {
        bool e[kCadoraViewCount];
        for (int32_t i = 0; i < kCadoraViewCount; ++i)
            e[i] = c.before[i] == '1';
        ApplyViewStates(e, c.progress, c.ready, c.snappy);
        EXPECT_EQ(Flags(e), c.after) << c.before << " " << c.progress << " " << c.ready << c.snappy;
    }
}

std::vector<uint8_t> ReadAsset(const char* rel)
{
    std::vector<uint8_t> bytes;
    const std::string path = std::string(MIREL_SOURCE_ASSETS) + "/" + rel;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
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

TEST(SceneTextures, GroundAndSkyAreFullMipChainsOfMatchingContent)
{
    const struct
    {
        const char* file;
        uint32_t size, mips;
        bool cube;
    } cases[] = {{"textures/ground.dds", 256, 9, false}, {"textures/skycube.dds", 64, 7, true}};
    for (const auto& c : cases)
    {
        const std::vector<uint8_t> bytes = ReadAsset(c.file);
        auto img = std::make_unique<miResources::DdsImage>();
        ASSERT_TRUE(miResources::ParseDds(bytes.data(), bytes.size(), *img)) << c.file;
        EXPECT_EQ(img->format, 28u) << c.file; // R8G8B8A8_UNORM
        EXPECT_EQ(img->width, c.size);
        EXPECT_EQ(img->mipCount, c.mips);
        EXPECT_EQ(img->cube, c.cube);
        const uint32_t faces = c.cube ? 6 : 1;
        ASSERT_EQ(img->subresourceCount, faces * c.mips);
        const auto& last = img->subresources[img->subresourceCount - 1];
        EXPECT_EQ(last.offset + last.slicePitch, bytes.size()) << c.file << ": trailing or missing bytes";
        for (uint32_t f = 0; f < faces; ++f)
        {
            const auto& top = img->subresources[f * c.mips];
            const auto& tip = img->subresources[f * c.mips + c.mips - 1];
            EXPECT_EQ(tip.width, 1u);
            // Box-filtered levels keep the average colour of the top level.
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_NEAR(Mean(bytes, tip, ch), Mean(bytes, top, ch), 2.0) << c.file << " face " << f;
        }
    }
}

TEST(SceneTextures, GroundIsGrassAndSkyIsBlueAboveAndGreyBelow)
{
    const std::vector<uint8_t> ground = ReadAsset("textures/ground.dds");
    auto g = std::make_unique<miResources::DdsImage>();
    ASSERT_TRUE(miResources::ParseDds(ground.data(), ground.size(), *g));
    EXPECT_GT(Mean(ground, g->subresources[0], 1), Mean(ground, g->subresources[0], 0));
    EXPECT_GT(Mean(ground, g->subresources[0], 1), Mean(ground, g->subresources[0], 2));

    const std::vector<uint8_t> sky = ReadAsset("textures/skycube.dds");
    auto s = std::make_unique<miResources::DdsImage>();
    ASSERT_TRUE(miResources::ParseDds(sky.data(), sky.size(), *s));
    // Faces +X -X +Y -Y +Z -Z; the zenith face is blue, the nadir face grey.
    const auto& up = s->subresources[2 * s->mipCount];
    const auto& down = s->subresources[3 * s->mipCount];
    EXPECT_GT(Mean(sky, up, 2), Mean(sky, up, 0) + 40);
    EXPECT_LT(Mean(sky, down, 2) - Mean(sky, down, 0), 20);
    // A side face: its top row (toward +Y) bluer than its bottom row.
    const auto& side = s->subresources[0];
    auto rowBlueness = [&](uint32_t y)
    {
        double d = 0;
        for (uint32_t x = 0; x < side.width; ++x)
            d += sky[side.offset + y * side.rowPitch + x * 4 + 2] -
                 sky[side.offset + y * side.rowPitch + x * 4];
        return d / side.width;
    };
    EXPECT_GT(rowBlueness(0), rowBlueness(side.height - 1) + 20);
}

} // namespace
