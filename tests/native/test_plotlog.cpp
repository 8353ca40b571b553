// The log plot tool: reading controller lines, the PNG file as libpng reads it back, where the
// lines land, and the tracking figures.
#include "plotdraw.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace plotlog;

namespace
{

TEST(PlotLog, ReadsControllerLinesOnly)
{
    // A line; whether it is read, and the target, threads and added threads (untouched when not).
    const std::tuple<const char*, bool, float, int32_t, int32_t> cases[] = {
        {"TargetMs: 25.000000, CurrentMs: 20.500000, ComputeThreads: 7, AddedThreads: 20", true, 25.0f, 7,
         20},
        {"[12/07/26 15:40:01]TargetMs: 16.6, CurrentMs: 17, ComputeThreads: 1200, AddedThreads: 3\r", true,
         16.6f, 1200, 3},
        {"TargetMs: 25, CurrentMs: 20, ComputeThreads: 7", false, 0, 0, 0},
        {"TargetMs: 25, CurrentMs: 20, ComputeThreads: 7, AddedThreads: 2 extra", false, 0, 0, 0},
        {"[unterminated TargetMs: 25, CurrentMs: 20, ComputeThreads: 7, AddedThreads: 2", false, 0, 0, 0},
        {"TargetMs: nan, CurrentMs: 20, ComputeThreads: 7, AddedThreads: 2", false, 0, 0, 0},
        {"fps: 35 min: 45  max: 60 ", false, 0, 0, 0},
    };
    for (const auto& [line, ok, target, threads, added] : cases)
    {
        Sample s{};
        const bool read = ParseLine(line, s);
        EXPECT_EQ(std::make_tuple(read, s.targetMs, s.threads, s.added), std::tie(ok, target, threads, added))
            << line;
    }
    const auto samples =
        ParseLog(std::string(std::get<0>(cases[0])) + "\nnoise\n" + std::get<0>(cases[1]) + "\n");
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].threads, 1200);
}

// The chunk types in file order.
std::string ChunksOf(const std::vector<uint8_t>& png)
{
    std::string types;
    for (size_t at = 8; at + 12 <= png.size();
         at += 12 + (uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | png[at + 2] << 8 | png[at + 3]))
        types.append(reinterpret_cast<const char*>(&png[at + 4]), 4) += " ";
    return types;
}

TEST(PlotLog, PngDecodesToTheImageAndCarriesNothingElse)
{
    std::vector<Sample> samples;
    for (int i = 0; i < 80; ++i)
        samples.push_back({16.0f + (i % 7), 12.0f + (i * 13 % 11), 100 + i * 9, 0});
    // A non-square image catches swapped sides, bytes that never repeat in step with a pixel or a
    // row a wrong row stride or channel order.
    Image pattern(300, 80), dot(1, 1);
    for (size_t i = 0; i < pattern.rgb.size(); ++i)
        pattern.rgb[i] = static_cast<uint8_t>(i * 7 % 251);
    dot.rgb = {255, 0, 0};
    const std::pair<const char*, Image> cases[] = {
        {"pattern", pattern}, {"one pixel", dot}, {"plot", Plot(samples, 1200, 600)}};
    for (const auto& [name, image] : cases)
    {
        const std::vector<uint8_t> png = EncodePng(image);
        // No time stamp or text: the same plot writes the same bytes.
        const std::string chunks = ChunksOf(png);
        EXPECT_TRUE(std::regex_match(chunks, std::regex("IHDR (IDAT )+IEND "))) << name << ": " << chunks;
        EXPECT_EQ(png[24] << 8 | png[25], 8 << 8 | 2) << name << ": 8-bit RGB without alpha";
        png_image read{};
        read.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&read, png.data(), png.size()))
            << name << ": " << read.message;
        read.format = PNG_FORMAT_RGB;
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(read));
        ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr))
            << name << ": " << read.message;
        EXPECT_EQ(std::make_pair(read.width, read.height),
                  std::make_pair(uint32_t(image.width), uint32_t(image.height)))
            << name;
        EXPECT_TRUE(pixels == image.rgb) << name << ": decoded pixels differ";
    }
    EXPECT_TRUE(EncodePng(Image(0, 0)).empty());
}

int32_t RowOf(const Image& img, int32_t x, const uint8_t c[3], int32_t from, int32_t to)
{
    for (int32_t y = from; y < to; ++y)
        if (std::memcmp(img.At(x, y), c, 3) == 0) return y;
    return -1;
}

TEST(PlotLog, LinesLandByValue)
{
    // Target 20 ms, measured 10 ms, threads half then all of the largest: the top panel spans
    // 0-20 ms over rows 10-390, the bottom one 0-2000 groups over rows 410-590.
    std::vector<Sample> samples(50, Sample{20.0f, 10.0f, 1000, 0});
    for (size_t i = 25; i < samples.size(); ++i)
        samples[i].threads = 2000;
    const Image img = Plot(samples, 400, 600);
    EXPECT_EQ(RowOf(img, 100, kTargetColour, 0, 400), 10);
    EXPECT_EQ(RowOf(img, 100, kMeasuredColour, 0, 400), 200);
    EXPECT_EQ(RowOf(img, 100, kThreadsColour, 400, 600), 500);
    EXPECT_EQ(RowOf(img, 300, kThreadsColour, 400, 600), 410);
}

TEST(PlotLog, TrackingFiguresAfterTheFirstSeconds)
{
    // 25 ms frames: 120 frames (3 s) far off, then 200 frames of which every tenth is 1.5 ms off.
    std::vector<Sample> samples;
    for (int i = 0; i < 120; ++i)
        samples.push_back({25.0f, i < 119 ? 25.0f + 5.0f : 25.0f, 1, 0});
    for (int i = 0; i < 200; ++i)
        samples.push_back({25.0f, i % 10 == 9 ? 26.5f : 25.4f, 1, 0});
    // Time is the measured frame time summed: the first 119 frames are 30 ms long, so frames
    // 100-118 (ending at 3.03-3.57 s) are the off ones counted, then frame 119 ends at 3.595 s.
    const Tracking t = Measure(samples, 3.0f, 1.0f);
    EXPECT_EQ(t.frames, 19 + 1 + 200);
    EXPECT_FLOAT_EQ(t.withinFraction, (1.0f + 180.0f) / 220.0f);
    EXPECT_LT(t.settleSeconds, 0.0f) << "a frame leaves the tolerance every 10";
    for (Sample& s : samples)
        if (s.currentMs == 26.5f) s.currentMs = 25.9f;
    const Tracking settled = Measure(samples, 3.0f, 1.0f);
    EXPECT_FLOAT_EQ(settled.withinFraction, 201.0f / 220.0f);
    EXPECT_NEAR(settled.settleSeconds, 119 * 0.030 + 0.025, 1e-3);
}

} // namespace
