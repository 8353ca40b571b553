#include "core/props.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <tuple>

using namespace mirel;
using mirel::test::ReportCapture;
using mirel::test::TempFile;

namespace
{
class Props : public ::testing::Test
{
  protected:
    void SetUp() override { ClearProperties(); }
    void TearDown() override { ClearProperties(); }

    static void Load(const std::string& text)
    {
        TempFile file(text);
        LoadConfigFileFrom(file.Path());
    }
    static std::string Str(const char* name)
    {
        const char* s = GetPropertyString(name);
        return s ? std::string(s, strnlen(s, 16)) : std::string("<missing>");
    }
    static const float* F(const char* name) { return static_cast<const float*>(FindProperty(name, false)); }
    // Each property as "1" (a float), "-1 2.5 3 4" (a float4), "'text'" (a string) or "-" (none),
    // joined by " | ".
    static std::string Values(std::initializer_list<const char*> names)
    {
        std::ostringstream out;
        for (const char* name : names)
        {
            if (out.tellp() > 0) out << " | ";
            PropertyType t;
            if (!PropertyTypeOf(name, &t))
                out << "-";
            else if (t == kPropString)
                out << "'" << Str(name) << "'";
            else
                for (int i = 0; i < (t == kPropFloat4 ? 4 : 1); ++i)
                    out << (i ? " " : "") << F(name)[i];
        }
        return out.str();
    }
};
} // namespace

TEST_F(Props, NameSplittingAndRegistrationOnce)
{
    ReportCapture reports;
    RegisterProperty("..group..var.", kPropFloat);
    for (const char* bad : {"nodot", "a.b.c", "...", ""})
    {
        RegisterProperty(bad, kPropFloat);
        EXPECT_EQ(FindProperty(bad, false), nullptr) << bad;
    }
    EXPECT_EQ(reports.Count(), 4);
    EXPECT_NE(reports.Last().find("file: core/props, line: 111"), std::string::npos);
    EXPECT_EQ(Values({"group.var", "group.other", "nogroup.var"}), "0 | - | -");
    // A second registration keeps the first one's type and value.
    SetPropertyFloat("a.x", 4.0f);
    RegisterProperty("a.x", kPropString);
    EXPECT_EQ(Values({"a.x"}), "4");
}

TEST_F(Props, SlotsSurviveGrowthAndMatricesTakeFourSlots)
{
    RegisterProperty("m.mat", kPropMatrix);
    float* mat = static_cast<float*>(FindProperty("m.mat", true));
    for (int i = 0; i < 16; ++i)
        mat[i] = static_cast<float>(i);
    auto name = [](int i) { return "m.v" + std::to_string(i); };
    for (int i = 0; i < 17; ++i) // past the first 16 slots, with the matrix's four
        SetPropertyFloat(name(i).c_str(), static_cast<float>(i) * 2);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(F("m.mat")[i], static_cast<float>(i));
    for (int i = 0; i < 17; ++i)
        EXPECT_FLOAT_EQ(F(name(i).c_str())[0], static_cast<float>(i) * 2) << i;
}

TEST_F(Props, StringLimit)
{
    ReportCapture reports;
    SetPropertyString("s.ok", "fifteen_chars__");
    SetPropertyString("s.long", "sixteen_chars___");
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "Prop Strings are limited to 16 bytes", reports.Last());
    SetPropertyString("s.ok", nullptr); // no text: the old one stays
    EXPECT_EQ(Values({"s.ok", "s.long"}), "'fifteen_chars__' | 'sixteen_chars__'");
}

TEST_F(Props, ConfigLines)
{
    ReportCapture reports;
    SetPropertyFloat("render_init.resolutionX", 1280);
    SetPropertyString("render_init.fullscreen", "true");
    Load("early = 1\n[render_init]\nresolutionX = 1920\nfullscreen = false\nneg = -2\n"
         "vec = -1, 2.5, 3, 4\nspaced_comma = 1 , 2 , 3 , 4\njoined = 1,2,3,4\n"
         "quoted = \"hello\"world\nspaced = \"a b\"\n#commented = 5\n# skipped = 6\n#\n[]\nstill = 7\n"
         "[other\nopen = 8\na.b = 9\ngarbage line with words\n");
    // Commas without blanks join the numbers; blanks around them make no value.
    EXPECT_EQ(Values({"config.early", "render_init.resolutionX", "render_init.fullscreen", "render_init.neg",
                      "render_init.vec", "render_init.joined", "render_init.spaced_comma",
                      "render_init.quoted", "render_init.spaced", "render_init.commented",
                      "render_init.skipped", "render_init.still", "other.open", "other.a.b"}),
              "1 | 1920 | 'false' | '-2' | -1 2.5 3 4 | 1234 | - | 'hello' | - | 5 | - | 7 | 8 | -");
    EXPECT_EQ(reports.Count(), 1); // the dotted key
    EXPECT_NE(reports.Last().find("line: 111"), std::string::npos);
}

// Files as people edit them by hand. Each row is one file: what it shows, its text, the property
// and its value as Values() gives it, and the reports it makes.
TEST_F(Props, HandEditedConfigFiles)
{
    const std::tuple<const char*, std::string, const char*, const char*, int> rows[] = {
        {"tabs as separators", "[g]\nx\t=\t5\n", "g.x", "5", 0},
        {"blanks and tabs repeated", "[g]\n  x  \t =    5\t\t\n", "g.x", "5", 0},
        {"a second equals sign", "[g]\nx = = 5\n", "g.x", "-", 0},
        {"words after the value", "[g]\nx = 5 # five\n", "g.x", "-", 0},
        {"a comment line", "[g]\n# x = 5\n", "g.x", "-", 0},
        {"CRLF endings", "[g]\r\nx = 5\r\ns = on\r\n", "g.s", "'on'", 0},
        {"CRLF endings, float", "[g]\r\nx = 5\r\n", "g.x", "5", 0},
        {"a byte-order mark before the section", "\xEF\xBB\xBF[g]\nx = 5\n", "g.x", "5", 0},
        {"a byte-order mark before a key", "\xEF\xBB\xBFx = 5\n", "config.x", "5", 0},
        {"an unknown section", "[nosuch]\nx = 5\n", "nosuch.x", "5", 0},
        {"a value over the string slot", "[g]\ns = abcdefghijklmnopq\n", "g.s", "'abcdefghijklmno'", 1},
        // Longer than a token: the reader reports the cut token, the store the string limit;
        // the lines after it are still read.
        {"a value over a token", "[g]\ns = " + std::string(300, 'v') + "\nafter = 1\n", "g.after", "1", 2},
    };
    for (const auto& [what, text, name, value, reportCount] : rows)
    {
        ClearProperties();
        ReportCapture reports;
        Load(text);
        EXPECT_EQ(Values({name}), value) << what;
        EXPECT_EQ(reports.Count(), reportCount) << what;
    }
    EXPECT_EQ(Values({"g.s"}), "'" + std::string(15, 'v') + "'");
}

TEST_F(Props, ConfigValueOfAnotherKindThanTheRegisteredOne)
{
    SetPropertyFloat("g.speed", 100);
    SetPropertyString("g.mode", "true");
    SetPropertyFloat4("g.vec", 1, 2, 3, 4);
    Load("[g]\nspeed = -5\nmode = 12\nvec = 7\nspeed2 = abc\n");
    EXPECT_EQ(Values({"g.speed", "g.mode", "g.vec"}), "-5 | '12' | 7 2 3 4");
    Load("[g]\nspeed = fast\nmode = 1 2 3 4\n");
    EXPECT_EQ(Values({"g.speed", "g.mode"}), "-5 | '12'");
}

TEST_F(Props, DefaultsAndExactBooleans)
{
    // The application's defaults come after the engine's and before the file, which wins.
    TempFile config("[app]\nfromFile = 2\n");
    SetConfigFilePath(config.Path());
    RegisterDefaults(
        []
        {
            SetPropertyFloat("app.own", 0.1f);
            SetPropertyFloat("app.fromFile", 1);
            SetPropertyFloat("camera.rotate_speed", 5);
        });
    SetConfigFilePath(nullptr);
    EXPECT_EQ(Values({"camera.rotate_speed", "app.own", "app.fromFile", "render_init.sunDirection"}),
              "5 | 0.1 | 2 | -72 35 0 0");
    EXPECT_TRUE(IsPropertyTrue("render_init.fullscreen"));
    EXPECT_TRUE(IsPropertyFalse("render_init.autoDetect"));
    EXPECT_FLOAT_EQ(GetPropertyFloat("missing.value"), kMissingFloat);
    SetPropertyString("x.flag", "True");
    EXPECT_FALSE(IsPropertyTrue("x.flag"));
    SetPropertyString("x.flag", "true ");
    EXPECT_FALSE(IsPropertyTrue("x.flag"));
    EXPECT_FALSE(IsPropertyTrue("x.none"));
}
