#include "core/utils.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mirel;
using mirel::test::ReportCapture;
using mirel::test::TempFile;

namespace
{
const float kWhite[4] = {1, 1, 1, 1};

std::vector<std::string> Lines(const std::string& content, int maxTokens = 16)
{
    TempFile file(content);
    TextParser parser(maxTokens, file.Path());
    std::vector<std::string> out;
    while (parser.ReadLine())
    {
        std::string joined;
        for (int i = 0; i < parser.tokenCount; ++i)
            joined += (i ? "|" : "") + std::string(parser.Token(i));
        out.push_back(joined);
    }
    return out;
}
} // namespace

TEST(Assert, MessageHasFileLineAndRestrictedFormat)
{
    ReportCapture reports;
    Assert(true, "core/x", 1, "never");
    EXPECT_EQ(reports.Count(), 0);
    Assert(false, "core/x", 12, "x %d y", 5);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_EQ(reports.Last(), "\n\nfile: core/x, line: 12 \n\nx 5 y");
    Assert(false, nullptr, 3, "%s=%f", "v", 0.25);
    EXPECT_EQ(reports.Last(), "\n\nv=0.250000");
}

TEST(Assert, SourceNameIsThePathBelowTheEngineWithoutExtension)
{
    const struct
    {
        const char* path;
        const char* name;
    } cases[] = {
        {"/work/main/engine/core/props.cpp", "core/props"},
        {"C:\\src\\mirel\\engine\\render\\device\\dx11\\dx11Device.cpp", "render/device/dx11/dx11Device"},
        {"../engine/core/datastructs.h", "core/datastructs"},
        {"/home/engine/repo/engine/mainloop.cpp", "mainloop"},
        {"/work/main/demo/cadora.cpp", "cadora"},
        {"/work/main/engine.d/x.v2/name.cpp", "name"},
        {"cadora", "cadora"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(SourceName(c.path).Name(), c.name) << c.path;
    ReportCapture reports;
    MIREL_ASSERT(1 + 1 == 3, 77, "sum %d", 2);
    MIREL_ASSERT(true, 78, "never");
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_EQ(reports.Last(), "\n\nfile: test_utils, line: 77 \n\nsum 2");
}

TEST(Assert, UnsupportedConversionIsReportedAndDropped)
{
    ReportCapture reports;
    Assert(false, "f", 1, "a%xb%d", 7);
    // The nested report comes first, the outer one is the last.
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_EQ(reports.Last(), "\n\nfile: f, line: 1 \n\nab7");
}

TEST(FormatText, Table)
{
    struct Case
    {
        const char* format;
        double f;
        const char* expected;
        int reports;
    } cases[] = {
        {"a %f", 0.1, "a 0.100000", 0}, {"%q", 0, "", 1},          {"", 0, "", 0},
        {"n=%d%%", 0, "n=0", 1},        {"tail %", 0, "tail ", 1},
    };
    for (const Case& c : cases)
    {
        ReportCapture reports;
        TextList list;
        if (std::string(c.format).find("%d") != std::string::npos)
            FormatText(list, kWhite, c.format, 0);
        else
            FormatText(list, kWhite, c.format, c.f);
        ASSERT_EQ(list.count, 1) << c.format;
        EXPECT_STREQ(list.lines[0].text, c.expected) << c.format;
        EXPECT_EQ(reports.Count(), c.reports) << c.format;
        if (c.reports)
        {
            EXPECT_EQ(reports.Last(),
                      "\n\nfile: core/utils, line: 390 \n\nMirel strings only support %s, %d, %f");
        }
    }
}

TEST(FormatText, LongFormatGivesEmptyLineAndListStopsAt29)
{
    TextList list;
    std::string longFormat(256, 'x');
    FormatText(list, kWhite, longFormat.c_str());
    EXPECT_STREQ(list.lines[0].text, "");
    for (int i = 1; i < 40; ++i)
        FormatText(list, kWhite, "line %d", i);
    EXPECT_EQ(list.count, 29);
    EXPECT_STREQ(list.lines[28].text, "line 28");
    // A long %s argument is cut at the slot size, never past it.
    TextList other;
    std::string big(1000, 'y');
    FormatText(other, kWhite, "%s", big.c_str());
    EXPECT_EQ(std::string(other.lines[0].text), std::string(255, 'y'));
}

TEST(Restricted, LongLiteralRunsAreKeptAndOutputIsBounded)
{
    std::string run(600, 'r');
    char out[1024];
    ReportCapture reports;
    Assert(false, nullptr, 0, run.c_str());
    EXPECT_EQ(reports.Last(), "\n\n" + run);
    auto call = [&](int cap, const char* fmt, ...)
    {
        va_list ap;
        va_start(ap, fmt);
        int n = FormatRestricted(out, cap, 1, fmt, ap);
        va_end(ap);
        return n;
    };
    EXPECT_EQ(call(8, "%s", "abcdefghijk"), 7);
    EXPECT_STREQ(out, "abcdefg");
}

TEST(Paths, ExtensionAndBaseName)
{
    struct Case
    {
        const char* path;
        const char* ext;
        const char* base;
    } cases[] = {
        {"config.ini", "ini", "config"},
        {"a/b.tar.gz", "gz", "b.tar"},
        {"noext", "", "noext"},
        {".hidden", "", ""},
        {"c:\\dir\\shader.hlsl", "hlsl", "shader"},
        {"dir.d/file", "d/file", "dir"},
    };
    for (const Case& c : cases)
    {
        EXPECT_STREQ(GetFileExtension(c.path), c.ext) << c.path;
        EXPECT_STREQ(GetBaseName(c.path), c.base) << c.path;
    }
}

TEST(Paths, TrimAndWide)
{
    char a[] = " \t x y \r\n";
    Trim(a);
    EXPECT_STREQ(a, "x y");
    char b[] = " \n\t ";
    Trim(b);
    EXPECT_STREQ(b, "");
    const char16_t* w = ToWide("Mirel_ThreadPoolSem__0");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::u16string(w), u"Mirel_ThreadPoolSem__0");
    EXPECT_EQ(ToWide(std::string(256, 'a').c_str()), nullptr);
    EXPECT_NE(ToWide(std::string(255, 'a').c_str()), nullptr);
}

TEST(Paths, TempRingKeepsFiftyBuffers)
{
    char* first = TempString();
    std::snprintf(first, 256, "keep");
    for (int i = 0; i < 49; ++i)
        std::snprintf(TempString(), 256, "other");
    EXPECT_STREQ(first, "keep");
    EXPECT_EQ(TempString(), first); // the 51st request reuses the first buffer
}

TEST(Paths, AssetRootIsOneLevelAboveTheExecutable)
{
    BuildAssetRoot();
    std::string root = GetAssetRoot();
    std::string dir = GetExecutableDirectory();
    EXPECT_EQ(root, dir + "/../assets");
    EXPECT_EQ(root.find('\\'), std::string::npos);
}

TEST(TextParser, Tokenising)
{
    struct Case
    {
        const char* content;
        std::vector<std::string> lines;
    } cases[] = {
        {"  key = 1.5 \n", {"key|=|1.5"}},
        {"a,b\n", {"ab"}},
        {"a , b\n", {"a||b"}},
        {"\n\n  \n\t\n", {}},
        {"first\r\nlast", {"first", "last"}},
        {"x#y = \"q\"\n", {"xy|=|\"q\""}},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n", {"1|2|3|4|5|6|7|8|9|10|11|12|13|14|"}},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14\n", {"1|2|3|4|5|6|7|8|9|10|11|12|13|14"}},
        {",,,\n", {""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Lines(c.content), c.lines) << c.content;
    // Material readers use fifteen tokens: at most 13 real ones.
    EXPECT_EQ(Lines("a b c d e f g h i j k l m n o\n", 15),
              std::vector<std::string>{"a|b|c|d|e|f|g|h|i|j|k|l|m|"});
}

TEST(TextParser, OverlongTokensAndLinesAreReportedAndBounded)
{
    ReportCapture reports;
    std::string longToken(300, 't');
    std::vector<std::string> lines = Lines(longToken + " next\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(126, 't') + "|next");
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);

    // An over-long line is cut, and reading goes on with the next line.
    std::string hugeLine;
    for (int i = 0; i < 800; ++i)
        hugeLine += "ab ";
    lines = Lines(hugeLine + "\nafter = 1\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "after|=|1");
}

TEST(TextParser, MissingFileAndTokenBounds)
{
    TextParser missing(16, "/nonexistent/definitely/not/here.ini");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.ReadLine());
    TextParser parser(16, nullptr);
    parser.SetLine("one two");
    EXPECT_FALSE(parser.Tokenize());
    EXPECT_EQ(parser.tokenCount, 2);
    EXPECT_STREQ(parser.Token(2), "");
    EXPECT_STREQ(parser.Token(-1), "");
    EXPECT_STREQ(parser.Token(1000), "");
    parser.SetLine(",;!");
    EXPECT_TRUE(parser.Tokenize());
}
