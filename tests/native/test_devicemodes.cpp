// Display-mode choice on made-up mode lists, the adapter record, and the swap-chain buffer count.
#include "render/device/modeselect.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

using namespace miResources;

namespace
{

const DisplayMode kModes[] = {
    {1280, 720, 60, 1},  {1920, 1080, 60000, 1001}, {1920, 1080, 60, 1},  {1920, 1080, 144, 1},
    {1920, 1080, 50, 0}, {1366, 700, 75, 1},        {2560, 1440, 165, 1}, {1920, 1080, 59940, 1000},
};
constexpr int32_t kCount = sizeof kModes / sizeof kModes[0];

TEST(DeviceModes, RefreshChoiceAndClosestSize)
{
    // 59.94 and 60000/1001 share the whole part 59: the last such mode in list order wins.
    const std::tuple<const char*, float, uint32_t, uint32_t, int32_t, int32_t> cases[] = {
        {"59.94 wanted", 59.94f, 59940, 1000, 59, 144},
        {"60 wanted", 60.0f, 60, 1, 60, 144},
        {"no property", -1.0f, kRefreshUnchosen, 1, 144, 144},
        {"rate the size lacks", 75.0f, kRefreshUnchosen, 1, 75, 144},
    };
    for (const auto& [what, desired, numerator, denominator, used, max] : cases)
    {
        const RefreshChoice r = ChooseRefresh(kModes, kCount, 1920, 1080, desired);
        EXPECT_EQ(std::tie(r.numerator, r.denominator, r.usedRefreshHz, r.maxRefreshHz),
                  std::tie(numerator, denominator, used, max))
            << what;
    }
    // Only modes of exactly the chosen size count.
    EXPECT_EQ(ChooseRefresh(kModes, kCount, 1280, 720, -1.0f).maxRefreshHz, 60);
    EXPECT_EQ(ChooseRefresh(kModes, 0, 1280, 720, -1.0f).maxRefreshHz, 0);
    // 1323x710 is as close to 1366x700 as to 1280x720: the first listed wins.
    const uint32_t sizes[][4] = {{1920, 1080, 1920, 1080},
                                 {1366, 768, 1366, 700},
                                 {1280, 800, 1280, 720},
                                 {4000, 3000, 2560, 1440},
                                 {1323, 710, 1280, 720}};
    DisplayMode m{};
    for (const auto& [w, h, expectW, expectH] : sizes)
    {
        ASSERT_TRUE(FindClosestMatchingMode(kModes, kCount, w, h, m));
        EXPECT_EQ(std::tie(m.width, m.height), std::tie(expectW, expectH)) << w << "x" << h;
    }
    EXPECT_FALSE(FindClosestMatchingMode(kModes, 0, 1, 1, m));
}

TEST(DeviceModes, SwapChainBufferCount)
{
    // Indexed by fullscreen x 4 + triple buffered x 2 + vsync.
    const uint32_t expected[8] = {1, 1, 1, 1, 1, 2, 3, 3};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(SwapChainBufferCount(i & 4, i & 2, i & 1), expected[i]) << i;
}

// The statistics read the adapter's name and memory from the record of the slot's DXGI index.
TEST(DeviceModes, AdapterRecordOfTheSelectedSlot)
{
    const std::tuple<const char*, std::array<int32_t, 4>, int32_t, int32_t, int32_t> cases[] = {
        {"first adapter usable", {0, 1, 0, 0}, 2, 0, 0},
        {"software adapter 0 skipped", {1, 2, 0, 0}, 2, 0, 1},
        {"second slot", {1, 3, 0, 0}, 2, 1, 3},
        {"slot past the list", {2, 0, 0, 0}, 1, 3, 2},
        {"negative slot", {2, 3, 0, 0}, 2, -1, 2},
        {"nothing usable", {0, 0, 0, 0}, 0, 0, 0},
        {"index out of the table", {7, 0, 0, 0}, 1, 0, 0},
    };
    for (const auto& [what, indices, count, slot, record] : cases)
        EXPECT_EQ(AdapterRecordIndex(indices.data(), count, slot), record) << what;
}

} // namespace
