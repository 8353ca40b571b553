// The log plot tool: reading controller lines, the PNG container and its stored zlib stream,
// where the lines land, and the tracking figures.
#include "plotlog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace plotlog;

namespace
{

TEST(PlotLog, ReadsControllerLinesOnly)
{
    struct Case
    {
        const char* line;
        bool ok;
        float target;
        int32_t threads, added;
    };
    const Case cases[] = {
        {"TargetMs: 25.000000, CurrentMs: 20.500000, ComputeThreads: 7, AddedThreads: 20", true, 25.0f, 7, 20},
        {"[12/07/26 15:40:01]TargetMs: 16.6, CurrentMs: 17, ComputeThreads: 1200, AddedThreads: 3\r", true, 16.6f, 1200, 3},
        {"TargetMs: 25, CurrentMs: 20, ComputeThreads: 7", false, 0, 0, 0},
        {"TargetMs: 25, CurrentMs: 20, ComputeThreads: 7, AddedThreads: 2 extra", false, 0, 0, 0},
        {"[unterminated TargetMs: 25, CurrentMs: 20, ComputeThreads: 7, AddedThreads: 2", false, 0, 0, 0},
        {"TargetMs: nan, CurrentMs: 20, ComputeThreads: 7, AddedThreads: 2", false, 0, 0, 0},
        {"fps: 35 min: 45  max: 60 ", false, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        Sample s{};
        EXPECT_EQ(ParseLine(c.line, s), c.ok) << c.line;
        if (!c.ok) continue;
        EXPECT_FLOAT_EQ(s.targetMs, c.target) << c.line;
        EXPECT_EQ(s.threads, c.threads) << c.line;
        EXPECT_EQ(s.added, c.added) << c.line;
    }
    const auto samples = ParseLog(std::string(cases[0].line) + "\nnoise\n" + cases[1].line + "\n");
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].threads, 1200);
}

TEST(PlotLog, ChecksumsMatchTheirStandards)
{
    const char* text = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(text), 9), 0xCBF43926u);
    const char* wiki = "Wikipedia";
    EXPECT_EQ(Adler32(reinterpret_cast<const uint8_t*>(wiki), 9), 0x11E60398u);
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>("IEND"), 4), 0xAE426082u);
}

uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

TEST(PlotLog, PngHoldsTheImageInStoredBlocks)
{
    // Wide enough that the raw rows need more than one 65535-byte stored block.
    Image img(300, 80);
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x)
        {
            const uint8_t c[3] = {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x ^ y)};
            img.Set(x, y, c);
        }
    const std::vector<uint8_t> png = EncodePng(img);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    size_t at = 8;
    std::vector<std::string> types;
    std::vector<uint8_t> zlib;
    while (at + 12 <= png.size())
    {
        const uint32_t len = Be32(&png[at]);
        ASSERT_LE(at + 12 + len, png.size());
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        types.push_back(type);
        EXPECT_EQ(Crc32(&png[at + 4], len + 4), Be32(&png[at + 8 + len])) << type;
        if (type == "IHDR")
        {
            EXPECT_EQ(Be32(&png[at + 8]), 300u);
            EXPECT_EQ(Be32(&png[at + 12]), 80u);
            EXPECT_EQ(png[at + 16], 8);
            EXPECT_EQ(png[at + 17], 2);
        }
        if (type == "IDAT") zlib.insert(zlib.end(), png.begin() + at + 8, png.begin() + at + 8 + len);
        at += 12 + len;
    }
    EXPECT_EQ(at, png.size());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    ASSERT_GT(zlib.size(), 6u);
    EXPECT_EQ((zlib[0] * 256 + zlib[1]) % 31, 0) << "zlib header check";
    std::vector<uint8_t> raw;
    size_t p = 2;
    int blocks = 0;
    for (bool last = false; !last;)
    {
        ASSERT_LE(p + 5, zlib.size());
        last = zlib[p] & 1;
        EXPECT_EQ(zlib[p] >> 1, 0) << "stored block";
        const uint16_t n = static_cast<uint16_t>(zlib[p + 1] | zlib[p + 2] << 8);
        const uint16_t nn = static_cast<uint16_t>(zlib[p + 3] | zlib[p + 4] << 8);
        EXPECT_EQ(static_cast<uint16_t>(~n), nn);
        ASSERT_LE(p + 5 + n, zlib.size());
        raw.insert(raw.end(), zlib.begin() + p + 5, zlib.begin() + p + 5 + n);
        p += 5 + n;
        ++blocks;
    }
    EXPECT_EQ(blocks, 2);
    ASSERT_EQ(p + 4, zlib.size());
    EXPECT_EQ(Adler32(raw.data(), raw.size()), Be32(&zlib[p]));
    ASSERT_EQ(raw.size(), 80u * (300 * 3 + 1));
    for (int32_t y = 0; y < 80; ++y)
    {
        EXPECT_EQ(raw[y * 901], 0) << "filter byte of row " << y;
        EXPECT_EQ(std::memcmp(&raw[y * 901 + 1], img.At(0, y), 900), 0) << "row " << y;
    }
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
    for (size_t i = 25; i < samples.size(); ++i) samples[i].threads = 2000;
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
    for (int i = 0; i < 120; ++i) samples.push_back({25.0f, i < 119 ? 25.0f + 5.0f : 25.0f, 1, 0});
    for (int i = 0; i < 200; ++i) samples.push_back({25.0f, i % 10 == 9 ? 26.5f : 25.4f, 1, 0});
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
