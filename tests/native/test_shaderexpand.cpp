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

std::string Repeat(char c, size_t n)
{
    return std::string(n, c);
}

struct IncludeCase
{
    const char* label;
    const char* input;
    std::map<std::string, std::string> files;
    const char* expected;
};

TEST_F(Passes, IncludePassReplacesIncludeLinesOneLevelDeep)
{
    const IncludeCase cases[] = {
        {"lines are trimmed, blank ones dropped", "  a  \n\n\tb\r\n   \n", {}, "a\nb\n"},
        {"included text is copied raw, then a newline",
         "@include inc.hlsl\nz\n",
         {{"inc.hlsl", "x\n  y\n\n"}},
         "x\n  y\n\n\nz\n"},
        {"a missing file drops the line", "@include none.hlsl\nz\n", {}, "z\n"},
        {"an include inside an included file stays",
         "@include outer.hlsl\n",
         {{"outer.hlsl", "@include inner.hlsl\n"}, {"inner.hlsl", "never\n"}},
         "@include inner.hlsl\n\n"},
        {"a folder is not a file", "@include .\n@include\nz\n", {}, "z\n"},
        {"an empty file gives an empty line", "@include empty.hlsl\n", {{"empty.hlsl", ""}}, "\n"},
        {"a sub-folder path works", "@include sub/i.hlsl\n", {{"sub/i.hlsl", "q"}}, "q\n"},
        {"the keyword must be the first word",
         "x @include inc.hlsl\n",
         {{"inc.hlsl", "no"}},
         "x @include inc.hlsl\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        for (const auto& f : c.files)
            tree.Write("shaders/" + f.first, f.second);
        tree.Write("shaders/in.txt", c.input);
        ReportCapture reports;
        EXPECT_TRUE(ExpandIncludes(Folder().c_str(), In().c_str(), Out().c_str()));
        EXPECT_EQ(tree.Read("shaders/out.txt"), c.expected);
        EXPECT_EQ(reports.Count(), 0);
    }
}

struct SnippetCase
{
    const char* label;
    const char* input;
    const char* collected; // pass 2 output
    const char* expanded;  // pass 3 output
};

TEST_F(Passes, SnippetsAreCutOutThenExpandedWhereNamed)
{
    const SnippetCase cases[] = {
        {"nested braces stay in the body", "snippet s\n{\na\n{\nb\n}\n}\n$include s\nend\n",
         "$include s\nend\n", "a\n{\nb\n}\n\nend\n"},
        {"a body opening with a brace line", "snippet s\n{\n{\nx\n}\n}\n$include s\n", "$include s\n",
         "{\nx\n}\n\n"},
        {"an empty block", "snippet s\n{\n}\n$include s\nq\n", "$include s\nq\n", "\nq\n"},
        {"used before its definition", "$include s\nsnippet s\n{\nv\n}\n", "$include s\n", "v\n\n"},
        {"the first of two definitions wins", "snippet s\n{\none\n}\nsnippet s\n{\ntwo\n}\n$include s\n",
         "$include s\n", "one\n\n"},
        {"an unknown name drops the line", "$include nope\nk\n", "$include nope\nk\n", "k\n"},
        {"snippet text is not expanded again",
         "snippet a\n{\n$include b\n}\nsnippet b\n{\nB\n}\n$include a\n", "$include a\n", "$include b\n\n"},
        {"body lines are trimmed", "snippet s\n{\n   indented   \n}\n$include s\n", "$include s\n",
         "indented\n\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        tree.Write("shaders/in.txt", c.input);
        ReportCapture reports;
        ASSERT_TRUE(CollectSnippets(In().c_str(), Mid().c_str()));
        EXPECT_EQ(tree.Read("shaders/mid.txt"), c.collected);
        ASSERT_TRUE(ExpandSnippets(Mid().c_str(), Out().c_str()));
        EXPECT_EQ(tree.Read("shaders/out.txt"), c.expanded);
        EXPECT_EQ(reports.Count(), 0);
    }
}

TEST_F(Passes, SnippetsOfOneFileAreGoneForTheNext)
{
    tree.Write("shaders/in.txt", "snippet s\n{\nfirst\n}\n");
    ASSERT_TRUE(CollectSnippets(In().c_str(), Mid().c_str()));
    tree.Write("shaders/in.txt", "$include s\nlast\n");
    ASSERT_TRUE(CollectSnippets(In().c_str(), Mid().c_str()));
    ASSERT_TRUE(ExpandSnippets(Mid().c_str(), Out().c_str()));
    EXPECT_EQ(tree.Read("shaders/out.txt"), "last\n");
    EXPECT_EQ(SnippetManager().Count(), 0);
}

TEST_F(Passes, SnippetLimitsAreExact)
{
    // 80 lines of 100 bytes and one of 96: exactly 8096 bytes of body.
    std::string body;
    for (int i = 0; i < 80; ++i)
        body += Repeat('a', 99) + "\n";
    body += Repeat('b', 95) + "\n";
    ASSERT_EQ(body.size(), 8096u);
    const std::string name63 = Repeat('n', 63);
    tree.Write("shaders/in.txt", "snippet " + name63 + "\n{\n" + body + "}\n$include " + name63 + "\n");
    ReportCapture reports;
    ASSERT_TRUE(CollectSnippets(In().c_str(), Mid().c_str()));
    ASSERT_TRUE(ExpandSnippets(Mid().c_str(), Out().c_str()));
    EXPECT_EQ(tree.Read("shaders/out.txt"), body + "\n");
    EXPECT_EQ(reports.Count(), 0);
}

struct FailureCase
{
    const char* label;
    std::string input;
};

TEST_F(Passes, AFailedSnippetPassLeavesNoOutput)
{
    std::string big;
    for (int i = 0; i < 81; ++i)
        big += Repeat('a', 99) + "\n";
    const FailureCase cases[] = {
        {"no opening brace", "snippet s\nbody\n}\n"},
        {"the file ends inside the block", "snippet s\n{\n{\nbody\n}\n"},
        {"the opening line is missing", "snippet s\n"},
        {"a body over 8096 bytes", "snippet s\n{\n" + big + "}\n"},
        {"a name of 64 characters", "snippet " + Repeat('n', 64) + "\n{\nx\n}\n"},
        {"a line longer than the line buffer", "keep\n" + Repeat('x', 1100) + "\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        tree.Write("shaders/in.txt", c.input);
        ReportCapture reports;
        EXPECT_FALSE(CollectSnippets(In().c_str(), Mid().c_str()));
        EXPECT_FALSE(tree.Exists("shaders/mid.txt"));
        EXPECT_GE(reports.Count(), 1);
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
    }
}

TEST_F(Passes, OverLongLinesFailEveryPass)
{
    tree.Write("shaders/in.txt", "ok\n" + Repeat('x', 1100) + "\n");
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
    vars.Append(Var("a", kVarFloat));
    vars.Append(Var("dummy_align_7", kVarFloat3));
    vars.Append(Var("b", kVarFloat3));
    vars.Append(Var("dummy_align_8", kVarFloat));
    vars.Append(Var("m", kVarMatrix));
    vars.Append(Var("ignored", 9));
    const std::string block =
        "\ncbuffer ConstantBuffer : register( b4 )\n { \n"
        "float  a;\nfloat3  dummy_align_7;\nfloat3  b;\nfloat  dummy_align_8;\nmatrix m;\n"
        "\n}\n";
    const FailureCase cases[] = {
        {"the block is replaced in place", "x\n  mirel_shadervars\n{\nfloat a = 1;\nnot read\n}\ny\n"},
        {"a block running to the end of the file", "x\nmirel_shadervars\n{\nfloat a = 1;\n"},
    };
    const std::string expected[] = {"x\n" + block + "y\n", "x\n" + block};
    for (int i = 0; i < 2; ++i)
    {
        SCOPED_TRACE(cases[i].label);
        tree.Write("shaders/in.txt", cases[i].input);
        ASSERT_TRUE(ExpandConstants(In().c_str(), Out().c_str(), vars));
        EXPECT_EQ(tree.Read("shaders/out.txt"), expected[i]);
    }
}

TEST_F(Passes, EveryTypeHasItsDeclarationFormat)
{
    const struct
    {
        int32_t type;
        const char* line;
    } formats[] = {{kVarFloat, "float  v;"}, {kVarFloat3, "float3  v;"}, {kVarFloat4, "float4 v;"},
                   {kVarInt, "int  v;"},     {kVarInt3, "int3  v;"},     {kVarInt4, "int4 v;"},
                   {kVarMatrix, "matrix v;"}};
    tree.Write("shaders/in.txt", "mirel_shadervars\n{\n}\n");
    for (const auto& f : formats)
    {
        ShaderVarList vars;
        vars.Append(Var("v", f.type));
        ASSERT_TRUE(ExpandConstants(In().c_str(), Out().c_str(), vars));
        EXPECT_EQ(tree.Read("shaders/out.txt"),
                  std::string("\ncbuffer ConstantBuffer : register( b4 )\n { \n") + f.line + "\n\n}\n");
    }
}

TEST_F(Passes, ConstantPassFailures)
{
    ShaderVarList vars;
    tree.Write("shaders/in.txt", "mirel_shadervars\nfloat a = 1;\n}\n");
    {
        ReportCapture reports;
        EXPECT_FALSE(ExpandConstants(In().c_str(), Out().c_str(), vars));
        EXPECT_FALSE(tree.Exists("shaders/out.txt"));
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
    }
    {
        ReportCapture reports;
        EXPECT_FALSE(ExpandConstants(In().c_str(), tree.Path("no/such/dir/out.txt").c_str(), vars));
        EXPECT_NE(reports.Last().find("System error, cannot open file"), std::string::npos);
    }
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
}

TEST_F(PassesDeathTest, TheExitRemovesTheFilesOfTheEarlierPasses)
{
    // Forked without re-running the program, so the child works in this test's tree.
    GTEST_FLAG_SET(death_test_style, "fast");
    tree.Write("shaders/s.hlsl", "line\n");
    // A folder in the way of the second pass's output.
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
    const int32_t first = PaddingCounter();
    ReportCapture reports;
    ShaderVarList list =
        Read("float a = 1.5;\nfloat3 b = 1, 2, 3;\nmatrix m;\nint i = -3.7;\nint3 j = 1 2 3;\n"
             "float4 c = 1 2 3 4;\nint4 k = 5 6 7 8;\n");
    EXPECT_EQ(reports.Count(), 0);
    const struct
    {
        std::string name;
        int32_t type;
    } expected[] = {{"a", kVarFloat},
                    {"dummy_align_" + std::to_string(first), kVarFloat3},
                    {"b", kVarFloat3},
                    {"dummy_align_" + std::to_string(first + 1), kVarFloat},
                    {"m", kVarMatrix},
                    {"i", kVarInt},
                    {"dummy_align_" + std::to_string(first + 2), kVarFloat3},
                    {"j", kVarInt3},
                    {"dummy_align_" + std::to_string(first + 3), kVarFloat},
                    {"c", kVarFloat4},
                    {"k", kVarInt4}};
    ASSERT_EQ(list.count, 11);
    for (int i = 0; i < list.count; ++i)
    {
        EXPECT_EQ(list.Data()[i].name, expected[i].name) << i;
        EXPECT_EQ(list.Data()[i].type, expected[i].type) << i;
    }
    EXPECT_EQ(PaddingCounter(), first + 4);
    EXPECT_EQ(CountShaderVarWords(list) % 4, 0);
    EXPECT_FLOAT_EQ(list.Data()[0].value[0], 1.5f);
    EXPECT_FLOAT_EQ(list.Data()[5].value[0], -3.7f); // int values stay floats until packed
    const float* b = list.Data()[2].value;
    EXPECT_EQ(std::vector<float>(b, b + 4), (std::vector<float>{1, 2, 3, 0}));
    const float* pad = list.Data()[1].value;
    EXPECT_EQ(std::vector<float>(pad, pad + 4), (std::vector<float>{0, 0, 0, 0}));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(list.Data()[4].matrix[r * 4 + c], r == c ? 1.0f : 0.0f);
}

TEST_F(ShaderVars, TheMatrixRuleTakesAnyTokenCountAndIgnoresValues)
{
    ShaderVarList list = Read("matrix m = 5 5 5 5 5 5 5 5 5;\n");
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.Data()[0].matrix[0], 1.0f);
    EXPECT_EQ(list.Data()[0].matrix[1], 0.0f);
    EXPECT_EQ(list.Data()[0].value[0], 0.0f);
}

TEST_F(ShaderVars, WrongLinesAreRefused)
{
    const char* lines[] = {"float a = 1 2;", "float3 b = 1 2;",   "float4 c = 1 2 3;",
                           "int d;",         "int3 e = 1 2 3 4;", "int4 f = 1;",
                           "double x = 1;",  "Float y = 1;",      "float , = 1;"};
    for (const char* line : lines)
    {
        SCOPED_TRACE(line);
        ReportCapture reports;
        ShaderVarList list = Read(std::string(line) + "\n");
        EXPECT_EQ(list.count, 0);
        EXPECT_EQ(reports.Count(), 1);
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
    }
}

TEST_F(ShaderVars, NamesUpTo63Characters)
{
    ReportCapture reports;
    ShaderVarList ok = Read("float4 " + Repeat('n', 63) + " = 1 2 3 4;\n");
    ASSERT_EQ(ok.count, 1);
    EXPECT_EQ(std::string(ok.Data()[0].name), Repeat('n', 63));
    EXPECT_EQ(reports.Count(), 0);
    ShaderVarList tooLong = Read("float4 " + Repeat('n', 64) + " = 1 2 3 4;\n");
    EXPECT_EQ(tooLong.count, 0);
    EXPECT_EQ(reports.Count(), 1);
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
    const int32_t pad = PaddingCounter() - 1;
    ReportCapture reports;
    ASSERT_TRUE(ExpandShaderSource(cfg));
    const std::string expected =
        "// top\n\ncbuffer ConstantBuffer : register( b4 )\n { \nfloat  fade;\nfloat3  dummy_align_" +
        std::to_string(pad) +
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

TEST(ShaderExpansion, ABlockInAnIncludedFileDeclaresAnEmptyBuffer)
{
    AssetTree tree;
    tree.Write("shaders/blk.hlsl", "mirel_shadervars\n{\nfloat hidden = 1;\n}\n");
    tree.Write("shaders/s.hlsl", "@include blk.hlsl\nbody\n");
    MaterialCfg cfg;
    std::strcpy(cfg.shaderName, "s");
    ReadShaderVars("s", cfg.vars);
    EXPECT_EQ(cfg.vars.count, 0);
    ASSERT_TRUE(ExpandShaderSource(cfg));
    EXPECT_EQ(std::string(cfg.source), "\ncbuffer ConstantBuffer : register( b4 )\n { \n\n}\nbody\n");
    cfg.OnRelease();
}

TEST(ShaderExpansion, FailuresLeaveNoTemporaryFileAndNoSource)
{
    AssetTree tree;
    const FailureCase cases[] = {
        {"snippet without brace", "snippet s\nx\n"},
        {"variable block without brace", "mirel_shadervars\nfloat a = 1;\n"},
        {"over-long line", Repeat('x', 1200) + "\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        tree.Write("shaders/bad.hlsl", c.input);
        MaterialCfg cfg;
        std::strcpy(cfg.shaderName, "bad");
        ReportCapture reports;
        EXPECT_FALSE(ExpandShaderSource(cfg));
        EXPECT_EQ(cfg.source, nullptr);
        EXPECT_GE(reports.Count(), 1);
        EXPECT_TRUE(tree.TempFiles().empty());
    }
    MaterialCfg cfg;
    std::strcpy(cfg.shaderName, "missing");
    ReportCapture reports;
    EXPECT_FALSE(ExpandShaderSource(cfg));
    EXPECT_NE(reports.Last().find("Shader file not found: " + tree.Path("shaders/missing.hlsl")),
              std::string::npos);
}

} // namespace
