#include "core/props.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

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
    static PropertyType Type(const char* name)
    {
        PropertyType t = static_cast<PropertyType>(99);
        PropertyTypeOf(name, &t);
        return t;
    }
    static const float* F(const char* name) { return static_cast<const float*>(FindProperty(name, false)); }
};
} // namespace

TEST_F(Props, NameSplittingAndRegistrationOnce)
{
    ReportCapture reports;
    RegisterProperty("..group..var.", kPropFloat);
    EXPECT_NE(FindProperty("group.var", false), nullptr);
    EXPECT_EQ(reports.Count(), 0);
    for (const char* bad : {"nodot", "a.b.c", "...", ""})
    {
        RegisterProperty(bad, kPropFloat);
        EXPECT_EQ(FindProperty(bad, false), nullptr) << bad;
    }
    EXPECT_EQ(reports.Count(), 4);
    EXPECT_NE(reports.Last().find("file: core/props, line: 111"), std::string::npos);
    EXPECT_EQ(FindProperty("group.other", false), nullptr);
    EXPECT_EQ(FindProperty("nogroup.var", false), nullptr);
    // A second registration keeps the first one's type and value.
    SetPropertyFloat("a.x", 4.0f);
    RegisterProperty("a.x", kPropString);
    EXPECT_EQ(Type("a.x"), kPropFloat);
    EXPECT_FLOAT_EQ(F("a.x")[0], 4.0f);
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
    EXPECT_EQ(reports.Count(), 0);
    SetPropertyString("s.long", "sixteen_chars___");
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Prop Strings are limited to 16 bytes"), std::string::npos);
    EXPECT_EQ(Str("s.ok"), "fifteen_chars__");
    EXPECT_EQ(Str("s.long"), "sixteen_chars__");
    SetPropertyString("s.ok", nullptr);
    EXPECT_EQ(Str("s.ok"), "fifteen_chars__");
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
    EXPECT_FLOAT_EQ(F("config.early")[0], 1.0f);
    EXPECT_FLOAT_EQ(F("render_init.resolutionX")[0], 1920.0f);
    EXPECT_EQ(Str("render_init.fullscreen"), "false");
    EXPECT_EQ(Type("render_init.neg"), kPropString);
    EXPECT_EQ(Str("render_init.neg"), "-2");
    ASSERT_EQ(Type("render_init.vec"), kPropFloat4);
    EXPECT_FLOAT_EQ(F("render_init.vec")[0], -1.0f);
    EXPECT_FLOAT_EQ(F("render_init.vec")[1], 2.5f);
    EXPECT_FLOAT_EQ(F("render_init.vec")[3], 4.0f);
    EXPECT_FLOAT_EQ(F("render_init.joined")[0], 1234.0f); // commas without blanks join the numbers
    EXPECT_EQ(Str("render_init.quoted"), "hello");
    EXPECT_EQ(FindProperty("render_init.spaced", false), nullptr);
    EXPECT_FLOAT_EQ(F("render_init.commented")[0], 5.0f);
    EXPECT_EQ(FindProperty("render_init.skipped", false), nullptr);
    EXPECT_FLOAT_EQ(F("render_init.still")[0], 7.0f);
    EXPECT_FLOAT_EQ(F("other.open")[0], 8.0f);
    EXPECT_EQ(FindProperty("other.a.b", false), nullptr);
    EXPECT_EQ(FindProperty("render_init.spaced_comma", false), nullptr);
    EXPECT_EQ(reports.Count(), 1); // the dotted key
    EXPECT_NE(reports.Last().find("line: 111"), std::string::npos);
}

// Files as people edit them by hand. Each row is one file; "" as expected means no property.
TEST_F(Props, HandEditedConfigFiles)
{
    const std::string longValue(300, 'v');
    const struct
    {
        const char* what;
        std::string text;
        const char* name;
        const char* expected; // a float's value as text, or a string's
        int reports;
    } rows[] = {
        {"tabs as separators", "[g]\nx\t=\t5\n", "g.x", "5", 0},
        {"blanks and tabs repeated", "[g]\n  x  \t =    5\t\t\n", "g.x", "5", 0},
        {"a second equals sign", "[g]\nx = = 5\n", "g.x", "", 0},
        {"words after the value", "[g]\nx = 5 # five\n", "g.x", "", 0},
        {"a comment line", "[g]\n# x = 5\n", "g.x", "", 0},
        {"CRLF endings", "[g]\r\nx = 5\r\ns = on\r\n", "g.s", "on", 0},
        {"CRLF endings, float", "[g]\r\nx = 5\r\n", "g.x", "5", 0},
        {"a byte-order mark before the section", "\xEF\xBB\xBF[g]\nx = 5\n", "g.x", "5", 0},
        {"a byte-order mark before a key", "\xEF\xBB\xBFx = 5\n", "config.x", "5", 0},
        {"an unknown section", "[nosuch]\nx = 5\n", "nosuch.x", "5", 0},
        {"a value over the string slot", "[g]\ns = abcdefghijklmnopq\n", "g.s", "abcdefghijklmno", 1},
    };
    for (const auto& row : rows)
    {
        ClearProperties();
        ReportCapture reports;
        Load(row.text);
        const char* name = row.name;
        if (row.expected[0] == '\0')
            EXPECT_EQ(FindProperty(name, false), nullptr) << row.what;
        else if (Type(name) == kPropFloat)
            EXPECT_FLOAT_EQ(F(name)[0], std::strtof(row.expected, nullptr)) << row.what;
        else
            EXPECT_EQ(Str(name), row.expected) << row.what;
        EXPECT_EQ(reports.Count(), row.reports) << row.what;
    }
    // A value longer than a token: the reader reports the cut token, the store the string limit,
    // and the slot keeps the first 15 characters; the lines after it are still read.
    ClearProperties();
    ReportCapture reports;
    Load("[g]\ns = " + longValue + "\nafter = 1\n");
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_EQ(Str("g.s"), std::string(15, 'v'));
    EXPECT_FLOAT_EQ(F("g.after")[0], 1.0f);
}

TEST_F(Props, ConfigValueOfAnotherKindThanTheRegisteredOne)
{
    SetPropertyFloat("g.speed", 100);
    SetPropertyString("g.mode", "true");
    SetPropertyFloat4("g.vec", 1, 2, 3, 4);
    Load("[g]\nspeed = -5\nmode = 12\nvec = 7\nspeed2 = abc\n");
    EXPECT_EQ(Type("g.speed"), kPropFloat);
    EXPECT_FLOAT_EQ(F("g.speed")[0], -5.0f);
    EXPECT_EQ(Str("g.mode"), "12");
    EXPECT_FLOAT_EQ(F("g.vec")[0], 7.0f);
    EXPECT_FLOAT_EQ(F("g.vec")[1], 2.0f);
    Load("[g]\nspeed = fast\nmode = 1 2 3 4\n");
    EXPECT_FLOAT_EQ(F("g.speed")[0], -5.0f);
    EXPECT_EQ(Str("g.mode"), "12");
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
    EXPECT_FLOAT_EQ(GetPropertyFloat("camera.rotate_speed"), 5.0f);
    EXPECT_FLOAT_EQ(GetPropertyFloat("app.own"), 0.1f);
    EXPECT_FLOAT_EQ(GetPropertyFloat("app.fromFile"), 2.0f);
    EXPECT_FLOAT_EQ(F("render_init.sunDirection")[0], -72.0f);
    EXPECT_TRUE(IsPropertyTrue("render_init.fullscreen"));
    EXPECT_TRUE(IsPropertyFalse("render_init.autoDetect"));
    EXPECT_FLOAT_EQ(GetPropertyFloat("missing.value"), kMissingFloat);
    SetPropertyString("x.flag", "True");
    EXPECT_FALSE(IsPropertyTrue("x.flag"));
    SetPropertyString("x.flag", "true ");
    EXPECT_FALSE(IsPropertyTrue("x.flag"));
    EXPECT_FALSE(IsPropertyTrue("x.none"));
}
