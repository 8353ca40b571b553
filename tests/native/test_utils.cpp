#include "core/utils.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace mirel;
using mirel::test::ReportCapture;
using mirel::test::TempFile;

namespace
{
const float kWhite[4] = {1, 1, 1, 1};

// Each line's tokens joined by '|'; past the last token the parser answers empty strings.
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
        EXPECT_STREQ(parser.Token(parser.tokenCount), "");
        EXPECT_STREQ(parser.Token(-1), "");
        out.push_back(joined);
    }
    return out;
}

int Restricted(char* out, int capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = FormatRestricted(out, capacity, 1, format, args);
    va_end(args);
    return n;
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
    // An unsupported conversion is reported (first) and dropped from the outer report (last).
    Assert(false, "f", 1, "a%xb%d", 7);
    EXPECT_EQ(reports.Count(), 4);
    EXPECT_EQ(reports.Last(), "\n\nfile: f, line: 1 \n\nab7");
    // Literal runs longer than the gathering buffer survive whole.
    const std::string run(600, 'r');
    Assert(false, nullptr, 0, run.c_str());
    EXPECT_EQ(reports.Last(), "\n\n" + run);
}

TEST(Assert, SourceNameIsThePathBelowTheEngineWithoutExtension)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/work/main/engine/core/props.cpp", "core/props"},
        {"C:\\src\\mirel\\engine\\render\\device\\dx11\\dx11Device.cpp", "render/device/dx11/dx11Device"},
        {"/home/engine/repo/engine/mainloop.cpp", "mainloop"},
        {"/work/main/demo/cadora.cpp", "cadora"},
        {"/work/main/engine.d/x.v2/name.cpp", "name"},
        {"", ""},
    };
    for (const auto& [path, name] : cases)
        EXPECT_STREQ(SourceName(path).Name(), name) << path;
    ReportCapture reports;
    MIREL_ASSERT(1 + 1 == 3, 77, "sum %d", 2);
    MIREL_ASSERT(true, 78, "never");
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_EQ(reports.Last(), "\n\nfile: test_utils, line: 77 \n\nsum 2");
}

TEST(FormatText, Table)
{
    const std::string longFormat(256, 'x');
    // Format, text and whether the format is reported; too long a format gives an empty line.
    const std::tuple<const char*, const char*, bool> cases[] = {{"a %f", "a 0.100000", false},
                                                                {"%q", "", true},
                                                                {"", "", false},
                                                                {"tail %", "tail ", true},
                                                                {longFormat.c_str(), "", false}};
    for (const auto& [format, text, reported] : cases)
    {
        ReportCapture reports;
        TextList list;
        FormatText(list, kWhite, format, 0.1);
        ASSERT_EQ(list.count, 1) << format;
        EXPECT_STREQ(list.lines[0].text, text) << format;
        EXPECT_EQ(reports.Count(), reported ? 1 : 0) << format;
        EXPECT_EQ(reports.Last(),
                  reported ? "\n\nfile: core/utils, line: 390 \n\nMirel strings only support %s, %d, %f" : "")
            << format;
    }
}

TEST(FormatText, ListStopsAt29AndTextIsBounded)
{
    TextList list;
    for (int i = 0; i < 40; ++i)
        FormatText(list, kWhite, "line %d", i);
    EXPECT_EQ(list.count, 29);
    EXPECT_STREQ(list.lines[28].text, "line 28");
    // A long %s argument is cut at the slot size, never past it.
    TextList other;
    std::string big(1000, 'y');
    FormatText(other, kWhite, "%s", big.c_str());
    EXPECT_EQ(std::string(other.lines[0].text), std::string(255, 'y'));
    char out[16];
    EXPECT_EQ(Restricted(out, 8, "%s", "abcdefghijk"), 7);
    EXPECT_STREQ(out, "abcdefg");
}

TEST(Paths, BaseNameTrimWideAndTempRing)
{
    const char* cases[][2] = {{"config.ini", "config"},
                              {"a/b.tar.gz", "b.tar"},
                              {"noext", "noext"},
                              {".hidden", ""},
                              {"c:\\dir\\shader.hlsl", "shader"}};
    for (const auto& c : cases)
        EXPECT_STREQ(GetBaseName(c[0]), c[1]) << c[0];
    auto trimmed = [](std::string s) { return Trim(s.data()), std::string(s.c_str()); };
    EXPECT_EQ(trimmed(" \t x y \r\n"), "x y");
    EXPECT_EQ(trimmed(" \n\t "), "");
    const char16_t* w = ToWide("Mirel_ThreadPoolSem__0");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::u16string(w), u"Mirel_ThreadPoolSem__0");
    EXPECT_EQ(ToWide(std::string(256, 'a').c_str()), nullptr);
    EXPECT_NE(ToWide(std::string(255, 'a').c_str()), nullptr);

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
    EXPECT_EQ(std::string(GetAssetRoot()), std::string(GetExecutableDirectory()) + "/../assets");
}

TEST(TextParser, Tokenising)
{
    const std::pair<const char*, std::vector<std::string>> cases[] = {
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
    for (const auto& [content, lines] : cases)
        EXPECT_EQ(Lines(content), lines) << content;
    // Material readers use fifteen tokens: at most 13 real ones.
    EXPECT_EQ(Lines("a b c d e f g h i j k l m n o\n", 15),
              std::vector<std::string>{"a|b|c|d|e|f|g|h|i|j|k|l|m|"});
    TextParser missing(16, "/nonexistent/definitely/not/here.ini");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.ReadLine());
}

TEST(TextParser, OverlongTokensAndLinesAreReportedAndBounded)
{
    ReportCapture reports;
    std::vector<std::string> lines = Lines(std::string(300, 't') + " next\n");
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
