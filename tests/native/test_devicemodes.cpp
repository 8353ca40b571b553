// Display-mode choice on made-up mode lists, and the swap-chain buffer count.
#include "render/device/modeselect.h"

#include <gtest/gtest.h>

using namespace miResources;

namespace
{
const DisplayMode kModes[] = {
    {1280, 720, 60, 1},  {1920, 1080, 60000, 1001}, {1920, 1080, 60, 1},  {1920, 1080, 144, 1},
    {1920, 1080, 50, 0}, {1366, 700, 75, 1},        {2560, 1440, 165, 1}, {1920, 1080, 59940, 1000},
};
constexpr int32_t kCount = sizeof kModes / sizeof kModes[0];
} // namespace

TEST(DeviceModes, RefreshChoice)
{
    struct Case
    {
        const char* what;
        float desired;
        uint32_t numerator, denominator;
        int32_t used, max;
    } cases[] = {
        // 59.94 and 60000/1001 share the whole part 59: the last such mode in list order wins.
        {"59.94 wanted", 59.94f, 59940, 1000, 59, 144},
        {"60 wanted", 60.0f, 60, 1, 60, 144},
        {"no property", -1.0f, kRefreshUnchosen, 1, 144, 144},
        {"rate the size lacks", 75.0f, kRefreshUnchosen, 1, 75, 144},
    };
    for (const Case& c : cases)
    {
        RefreshChoice r = ChooseRefresh(kModes, kCount, 1920, 1080, c.desired);
        EXPECT_EQ(r.numerator, c.numerator) << c.what;
        EXPECT_EQ(r.denominator, c.denominator) << c.what;
        EXPECT_EQ(r.usedRefreshHz, c.used) << c.what;
        EXPECT_EQ(r.maxRefreshHz, c.max) << c.what;
    }
    // Only modes of exactly the chosen size count.
    EXPECT_EQ(ChooseRefresh(kModes, kCount, 1280, 720, -1.0f).maxRefreshHz, 60);
    EXPECT_EQ(ChooseRefresh(kModes, 0, 1280, 720, -1.0f).maxRefreshHz, 0);
}

TEST(DeviceModes, ClosestSize)
{
    // 1323x710 is as close to 1366x700 as to 1280x720: the first listed wins.
    struct Case
    {
        uint32_t w, h, expectW, expectH;
    } cases[] = {{1920, 1080, 1920, 1080},
                 {1366, 768, 1366, 700},
                 {1280, 800, 1280, 720},
                 {4000, 3000, 2560, 1440},
                 {1323, 710, 1280, 720}};
    for (const Case& c : cases)
    {
        DisplayMode m{};
        ASSERT_TRUE(FindClosestMatchingMode(kModes, kCount, c.w, c.h, m));
        EXPECT_EQ(m.width, c.expectW) << c.w << "x" << c.h;
        EXPECT_EQ(m.height, c.expectH) << c.w << "x" << c.h;
    }
    DisplayMode m{};
    EXPECT_FALSE(FindClosestMatchingMode(kModes, 0, 1, 1, m));
}

TEST(DeviceModes, SwapChainBufferCount)
{
    for (int triple = 0; triple < 2; ++triple)
        for (int vsync = 0; vsync < 2; ++vsync)
            EXPECT_EQ(SwapChainBufferCount(false, triple, vsync), 1u);
    EXPECT_EQ(SwapChainBufferCount(true, true, false), 3u);
    EXPECT_EQ(SwapChainBufferCount(true, true, true), 3u);
    EXPECT_EQ(SwapChainBufferCount(true, false, true), 2u);
    EXPECT_EQ(SwapChainBufferCount(true, false, false), 1u);
}

// The statistics read the adapter's name and memory from the record of the slot's DXGI index.
TEST(DeviceModes, AdapterRecordOfTheSelectedSlot)
{
    struct Case
    {
        const char* what;
        int32_t indices[4];
        int32_t count, slot, record;
    } cases[] = {
        {"first adapter usable", {0, 1, 0, 0}, 2, 0, 0},
        {"software adapter 0 skipped", {1, 2, 0, 0}, 2, 0, 1},
        {"second slot", {1, 3, 0, 0}, 2, 1, 3},
        {"slot past the list", {2, 0, 0, 0}, 1, 3, 2},
        {"negative slot", {2, 3, 0, 0}, 2, -1, 2},
        {"nothing usable", {0, 0, 0, 0}, 0, 0, 0},
        {"index out of the table", {7, 0, 0, 0}, 1, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(miResources::AdapterRecordIndex(c.indices, c.count, c.slot), c.record) << c.what;
}
