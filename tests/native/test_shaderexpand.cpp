// The four text passes, the shader-variable reader and the whole shader expansion.
#include "support/material_fixture.h"

#include <cstring>
#include <functional>
#include <map>

using namespace miResources;
using mirel::test::AssetTree;
using mirel::test::ReportCapture;

namespace
{

const std::string kBuffer = "\ncbuffer ConstantBuffer : register( b4 )\n { \n";

class Passes : public ::testing::Test
{
  protected:
    std::string Folder() const { return tree.Path("shaders"); }
    std::string In() const { return tree.Path("shaders/in.txt"); }
    std::string Mid() const { return tree.Path("shaders/mid.txt"); }
    std::string Out() const { return tree.Path("shaders/out.txt"); }

    AssetTree tree;
};

ShaderVar Var(const char* name, int32_t type)
{
    ShaderVar v = {};
    std::strcpy(v.name, name);
    v.type = type;
    return v;
}

std::string Lines(int count, size_t length)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::string(length - 1, 'a') + "\n";
    return text;
}

TEST_F(Passes, IncludePassReplacesIncludeLinesOneLevelDeep)
{
    const struct
    {
        const char* input;
        std::map<std::string, std::string> files;
        const char* expected;
    } cases[] = {
        {"  a  \n\n\tb\r\n   \n", {}, "a\nb\n"}, // lines are trimmed, blank ones dropped
        {"@include inc.hlsl\nz\n", {{"inc.hlsl", "x\n  y\n\n"}}, "x\n  y\n\n\nz\n"}, // copied raw
        {"@include none.hlsl\nz\n", {}, "z\n"},
        {"@include outer.hlsl\n",
         {{"outer.hlsl", "@include inner.hlsl\n"}, {"inner.hlsl", "never\n"}},
         "@include inner.hlsl\n\n"},
        {"@include .\n@include\nz\n", {}, "z\n"}, // a folder is not a file
        {"@include empty.hlsl\n", {{"empty.hlsl", ""}}, "\n"},
        {"@include sub/i.hlsl\n", {{"sub/i.hlsl", "q"}}, "q\n"},
        {"x @include inc.hlsl\n", {{"inc.hlsl", "no"}}, "x @include inc.hlsl\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.input);
        for (const auto& f : c.files)
            tree.Write("shaders/" + f.first, f.second);
        tree.Write("shaders/in.txt", c.input);
        ReportCapture reports;
        EXPECT_TRUE(ExpandIncludes(Folder().c_str(), In().c_str(), Out().c_str()));
        EXPECT_EQ(tree.Read("shaders/out.txt"), c.expected);
        EXPECT_EQ(reports.Count(), 0);
    }
}

TEST_F(Passes, SnippetsAreCutOutThenExpandedWhereNamed)
{
    const std::string name63(63, 'n');
    // Exactly 8096 bytes of body.
    const std::string body = Lines(80, 100) + std::string(95, 'b') + "\n";
    const struct
    {
        std::string input, collected, expanded;
    } cases[] = {
        {"snippet s\n{\na\n{\nb\n}\n}\n$include s\nend\n", "$include s\nend\n", "a\n{\nb\n}\n\nend\n"},
        {"snippet s\n{\n{\nx\n}\n}\n$include s\n", "$include s\n", "{\nx\n}\n\n"},
        {"snippet s\n{\n}\n$include s\nq\n", "$include s\nq\n", "\nq\n"},
        {"$include s\nsnippet s\n{\nv\n}\n", "$include s\n", "v\n\n"}, // used before its definition
        {"snippet s\n{\none\n}\nsnippet s\n{\ntwo\n}\n$include s\n", "$include s\n", "one\n\n"},
        {"$include nope\nk\n", "$include nope\nk\n", "k\n"},
        {"snippet a\n{\n$include b\n}\nsnippet b\n{\nB\n}\n$include a\n", "$include a\n", "$include b\n\n"},
        {"snippet s\n{\n   indented   \n}\n$include s\n", "$include s\n", "indented\n\n"},
        {"snippet " + name63 + "\n{\n" + body + "}\n$include " + name63 + "\n", "$include " + name63 + "\n",
         body + "\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.input.substr(0, 80));
        tree.Write("shaders/in.txt", c.input);
        ReportCapture reports;
        ASSERT_TRUE(CollectSnippets(In().c_str(), Mid().c_str()));
        EXPECT_EQ(tree.Read("shaders/mid.txt"), c.collected);
        ASSERT_TRUE(ExpandSnippets(Mid().c_str(), Out().c_str()));
        EXPECT_EQ(tree.Read("shaders/out.txt"), c.expanded);
        EXPECT_EQ(reports.Count(), 0);
    }
    // The snippets of one file are gone for the next.
    tree.Write("shaders/in.txt", "$include s\nlast\n");
    ASSERT_TRUE(CollectSnippets(In().c_str(), Mid().c_str()));
    ASSERT_TRUE(ExpandSnippets(Mid().c_str(), Out().c_str()));
    EXPECT_EQ(tree.Read("shaders/out.txt"), "last\n");
    EXPECT_EQ(SnippetManager().Count(), 0);
}

TEST_F(Passes, AFailedSnippetPassLeavesNoOutput)
{
    const std::string cases[] = {
        "snippet s\nbody\n}\n",
        "snippet s\n{\n{\nbody\n}\n", // the file ends inside the block
        "snippet s\n",
        "snippet s\n{\n" + Lines(81, 100) + "}\n", // a body over 8096 bytes
        "snippet " + std::string(64, 'n') + "\n{\nx\n}\n",
        "keep\n" + std::string(1100, 'x') + "\n", // a line longer than the line buffer
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.substr(0, 40));
        tree.Write("shaders/in.txt", c);
        ReportCapture reports;
        EXPECT_FALSE(CollectSnippets(In().c_str(), Mid().c_str()));
        EXPECT_FALSE(tree.Exists("shaders/mid.txt"));
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
    }
}

TEST_F(Passes, OverLongLinesFailEveryPass)
{
    tree.Write("shaders/in.txt", "ok\n" + std::string(1100, 'x') + "\n");
    ShaderVarList vars;
    const std::function<bool()> passes[] = {
        [&] { return ExpandIncludes(Folder().c_str(), In().c_str(), Out().c_str()); },
        [&] { return ExpandSnippets(In().c_str(), Out().c_str()); },
        [&] { return ExpandConstants(In().c_str(), Out().c_str(), vars); },
    };
    for (const auto& pass : passes)
    {
        ReportCapture reports;
        EXPECT_FALSE(pass());
        EXPECT_FALSE(tree.Exists("shaders/out.txt"));
        EXPECT_GE(reports.Count(), 1);
    }
}

TEST_F(Passes, ConstantPassWritesTheDeclarationsOfTheList)
{
    ShaderVarList vars;
    const int32_t types[] = {kVarFloat, kVarFloat3, kVarFloat4, kVarInt, kVarInt3, kVarInt4, kVarMatrix, 9};
    for (int32_t type : types)
        vars.Append(Var(("v" + std::to_string(type)).c_str(), type));
    const std::string block = kBuffer + "float  v0;\nfloat3  v1;\nfloat4 v2;\nint  v3;\nint3  v4;\nint4 v5;\n"
                                        "matrix v6;\n\n}\n";
    const std::string inputs[] = {"x\n  mirel_shadervars\n{\nfloat a = 1;\nnot read\n}\ny\n",
                                  "x\nmirel_shadervars\n{\nfloat a = 1;\n"}; // runs to the end of the file
    const std::string expected[] = {"x\n" + block + "y\n", "x\n" + block};
    for (int i = 0; i < 2; ++i)
    {
        tree.Write("shaders/in.txt", inputs[i]);
        ASSERT_TRUE(ExpandConstants(In().c_str(), Out().c_str(), vars));
        EXPECT_EQ(tree.Read("shaders/out.txt"), expected[i]);
    }
    tree.Write("shaders/in.txt", "mirel_shadervars\nfloat a = 1;\n}\n");
    ReportCapture reports;
    EXPECT_FALSE(ExpandConstants(In().c_str(), Out().c_str(), vars));
    EXPECT_FALSE(tree.Exists("shaders/out.txt"));
    EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
    EXPECT_FALSE(ExpandConstants(In().c_str(), tree.Path("no/such/dir/out.txt").c_str(), vars));
    EXPECT_NE(reports.Last().find("System error, cannot open file"), std::string::npos);
}

using PassesDeathTest = Passes;

TEST_F(PassesDeathTest, AnUncreatableOutputEndsTheProgramWithMinusOne)
{
    // Forked without re-running the program, so the child works in this test's tree.
    GTEST_FLAG_SET(death_test_style, "fast");
    tree.Write("shaders/in.txt", "x\n");
    const std::string bad = tree.Path("no/such/dir/out.txt");
    EXPECT_EXIT(ExpandIncludes(Folder().c_str(), In().c_str(), bad.c_str()), ::testing::ExitedWithCode(255),
                "");
    EXPECT_EXIT(CollectSnippets(In().c_str(), bad.c_str()), ::testing::ExitedWithCode(255), "");
    EXPECT_EXIT(ExpandSnippets(In().c_str(), bad.c_str()), ::testing::ExitedWithCode(255), "");
    // The exit first removes the files of the earlier passes: a folder in the way of the second.
    tree.Write("shaders/s.hlsl", "line\n");
    std::filesystem::create_directories(tree.Path("shaders/expandedSnippetsFile_0.txt"));
    MaterialCfg cfg;
    std::strcpy(cfg.shaderName, "s");
    EXPECT_EXIT(ExpandShaderSource(cfg), ::testing::ExitedWithCode(255), "");
    EXPECT_FALSE(tree.Exists("shaders/expandedIncludesFile_0.txt"));
}

// ---- shader-variable block -------------------------------------------------------------------

class ShaderVars : public ::testing::Test
{
  protected:
    ShaderVarList Read(const std::string& blockLines)
    {
        tree.Write("shaders/v.hlsl", "float4 before;\nmirel_shadervars\n{\n" + blockLines + "}\nafter\n");
        ShaderVarList list;
        ReadShaderVars("v", list);
        return list;
    }
    AssetTree tree;
};

TEST_F(ShaderVars, EveryVariableIsFollowedByItsPadding)
{
    ReportCapture reports;
    ShaderVarList list = Read("float a = 1.5;\nfloat3 b = 1, 2, 3;\nmatrix m = 5 5 5 5 5;\nint i = -3.7;\n"
                              "int3 j = 1 2 3;\nfloat4 c = 1 2 3 4;\nint4 k = 5 6 7 8;\nfloat4 " +
                              std::string(63, 'n') + " = 1 2 3 4;\n");
    EXPECT_EQ(reports.Count(), 0);
    const std::pair<std::string, int32_t> expected[] = {
        {"a", kVarFloat},  {"", kVarFloat3},  {"b", kVarFloat3}, {"", kVarFloat},
        {"m", kVarMatrix}, {"i", kVarInt},    {"", kVarFloat3},  {"j", kVarInt3},
        {"", kVarFloat},   {"c", kVarFloat4}, {"k", kVarInt4},   {std::string(63, 'n'), kVarFloat4}};
    ASSERT_EQ(list.count, 12);
    std::set<std::string> pads;
    for (int i = 0; i < list.count; ++i)
    {
        const std::string name = list.Data()[i].name;
        EXPECT_EQ(list.Data()[i].type, expected[i].second) << i;
        if (expected[i].first.empty())
            pads.insert(name.rfind("dummy_align_", 0) == 0 ? name : "");
        else
            EXPECT_EQ(name, expected[i].first);
    }
    EXPECT_EQ(pads.size(), 4u) << "each padding entry has its own dummy_align_ name";
    EXPECT_EQ(pads.count(""), 0u);
    EXPECT_FLOAT_EQ(list.Data()[0].value[0], 1.5f);
    EXPECT_FLOAT_EQ(list.Data()[5].value[0], -3.7f); // int values stay floats until packed
    const float* b = list.Data()[2].value;
    EXPECT_EQ(std::vector<float>(b, b + 4), (std::vector<float>{1, 2, 3, 0}));
    const float* pad = list.Data()[1].value;
    EXPECT_EQ(std::vector<float>(pad, pad + 4), (std::vector<float>{0, 0, 0, 0}));
    // A matrix takes any token count, ignores its values and starts as the identity.
    EXPECT_EQ(list.Data()[4].value[0], 0.0f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(list.Data()[4].matrix[r * 4 + c], r == c ? 1.0f : 0.0f);
}

TEST_F(ShaderVars, WrongLinesAreRefused)
{
    const std::string lines[] = {"float a = 1 2;",    "float3 b = 1 2;",
                                 "float4 c = 1 2 3;", "int d;",
                                 "int3 e = 1 2 3 4;", "int4 f = 1;",
                                 "double x = 1;",     "Float y = 1;",
                                 "float , = 1;",      "float4 " + std::string(64, 'n') + " = 1 2 3 4;"};
    for (const std::string& line : lines)
    {
        SCOPED_TRACE(line);
        ReportCapture reports;
        EXPECT_EQ(Read(line + "\n").count, 0);
        EXPECT_EQ(reports.Count(), 1);
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
    }
}

TEST_F(ShaderVars, MissingFileBlockOrBrace)
{
    ShaderVarList list;
    list.Append(Var("kept", kVarFloat4));
    ReportCapture reports;
    ReadShaderVars("absent", list);
    tree.Write("shaders/noblock.hlsl", "float4 x;\n");
    ReadShaderVars("noblock", list);
    EXPECT_EQ(reports.Count(), 0);
    tree.Write("shaders/nobrace.hlsl", "mirel_shadervars\nfloat a = 1;\n}\n");
    ReadShaderVars("nobrace", list);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_EQ(list.count, 1);
}

// ---- whole expansion -------------------------------------------------------------------------

TEST(ShaderExpansion, AllFourPassesGiveTheCompilerText)
{
    AssetTree tree;
    tree.Write("shaders/lib.hlsl", "snippet Out\n{\nstruct Out\n{\n  float4 p : SV_Position;\n};\n}\n");
    tree.Write("shaders/s.hlsl",
               "// top\n@include lib.hlsl\n\n  mirel_shadervars\n{\n    float fade = 0.5;\n}\n"
               "$include Out\nOut mainVS() { Out o = (Out)0; return o; }\n");
    MaterialCfg cfg;
    std::strcpy(cfg.shaderName, "s");
    ReadShaderVars("s", cfg.vars);
    ASSERT_EQ(cfg.vars.count, 2);
    ReportCapture reports;
    ASSERT_TRUE(ExpandShaderSource(cfg));
    const std::string expected = "// top\n" + kBuffer + "float  fade;\nfloat3  " + cfg.vars.Data()[1].name +
                                 ";\n\n}\nstruct Out\n{\nfloat4 p : SV_Position;\n};\n"
                                 "Out mainVS() { Out o = (Out)0; return o; }\n";
    ASSERT_NE(cfg.source, nullptr);
    EXPECT_EQ(std::string(cfg.source), expected);
    EXPECT_EQ(cfg.sourceLength, expected.size());
    EXPECT_EQ(reports.Count(), 0);
    EXPECT_TRUE(tree.TempFiles().empty());
    // A second expansion replaces the text (the old one is freed).
    ASSERT_TRUE(ExpandShaderSource(cfg));
    EXPECT_EQ(std::string(cfg.source), expected);
    cfg.OnRelease();
}

TEST(ShaderExpansion, FailuresLeaveNoTemporaryFileAndNoSource)
{
    AssetTree tree;
    const std::string cases[] = {"snippet s\nx\n", "mirel_shadervars\nfloat a = 1;\n",
                                 std::string(1200, 'x') + "\n"};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.substr(0, 40));
        tree.Write("shaders/bad.hlsl", c);
        MaterialCfg cfg;
        std::strcpy(cfg.shaderName, "bad");
        ReportCapture reports;
        EXPECT_FALSE(ExpandShaderSource(cfg));
        EXPECT_EQ(cfg.source, nullptr);
        EXPECT_GE(reports.Count(), 1);
        EXPECT_TRUE(tree.TempFiles().empty());
    }
}

} // namespace
