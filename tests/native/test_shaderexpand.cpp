// The shader expansion as materials run it (includes, snippets, the constant block) and the
// shader-variable reader.
#include "support/material_fixture.h"

#include <cstring>
#include <map>
#include <tuple>

using namespace miResources;
using mirel::test::ReportCapture;

namespace
{

const std::string kBuffer = "\ncbuffer ConstantBuffer : register( b4 )\n { \n";

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

class Shaders : public ::testing::Test
{
  protected:
    ~Shaders() override { cfg.OnRelease(); }

    // The expanded text of a shader source with the configuration's variables, or "failed".
    std::string Expand(const std::string& source)
    {
        tree.Write("shaders/s.hlsl", source);
        std::strcpy(cfg.shaderName, "s");
        cfg.OnRelease();
        const bool ok = ExpandShaderSource(cfg);
        EXPECT_EQ(ok, cfg.source != nullptr);
        EXPECT_TRUE(tree.TempFiles().empty());
        return ok ? std::string(cfg.source, cfg.sourceLength) : "failed";
    }
    ShaderVarList ReadVars(const std::string& blockLines)
    {
        tree.Write("shaders/v.hlsl", "float4 before;\nmirel_shadervars\n{\n" + blockLines + "}\nafter\n");
        ShaderVarList list;
        ReadShaderVars("v", list);
        return list;
    }

    mirel::test::AssetTree tree;
    MaterialCfg cfg;
};

TEST_F(Shaders, ExpansionOfIncludesSnippetsAndTheConstantBlock)
{
    const int32_t types[] = {kVarFloat, kVarFloat3, kVarFloat4, kVarInt, kVarInt3, kVarInt4, kVarMatrix, 9};
    for (int32_t type : types)
        cfg.vars.Append(Var(("v" + std::to_string(type)).c_str(), type));
    const std::string block = kBuffer + "float  v0;\nfloat3  v1;\nfloat4 v2;\nint  v3;\nint3  v4;\nint4 v5;\n"
                                        "matrix v6;\n\n}\n";
    const std::string name63(63, 'n');
    const std::string body = Lines(80, 100) + std::string(95, 'b') + "\n"; // exactly 8096 bytes
    const std::tuple<std::string, std::map<std::string, std::string>, std::string> cases[] = {
        {"  a  \n\n\tb\r\n   \n", {}, "a\nb\n"}, // lines are trimmed, blank ones dropped
        {"@include inc.hlsl\nz\n", {{"inc.hlsl", "x\n  y\n\n"}}, "x\ny\nz\n"},
        {"@include none.hlsl\nz\n", {}, "z\n"},
        {"@include outer.hlsl\n",
         {{"outer.hlsl", "@include inner.hlsl\n"}, {"inner.hlsl", "never\n"}},
         "@include inner.hlsl\n"},                // one level deep
        {"@include .\n@include\nz\n", {}, "z\n"}, // a folder is not a file
        {"@include sub/i.hlsl\n", {{"sub/i.hlsl", "q"}}, "q\n"},
        {"x @include inc.hlsl\n", {}, "x @include inc.hlsl\n"},
        {"snippet s\n{\na\n{\nb\n}\n}\n$include s\nend\n", {}, "a\n{\nb\n}\nend\n"},
        {"snippet s\n{\n{\nx\n}\n}\n$include s\n", {}, "{\nx\n}\n"},
        {"snippet s\n{\n}\n$include s\nq\n", {}, "q\n"},
        {"$include s\nsnippet s\n{\nv\n}\n", {}, "v\n"}, // used before its definition
        {"snippet s\n{\none\n}\nsnippet s\n{\ntwo\n}\n$include s\n", {}, "one\n"},
        {"snippet a\n{\n$include b\n}\nsnippet b\n{\nB\n}\n$include a\n", {}, "$include b\n"},
        {"snippet s\n{\n   indented   \n}\n$include s\n", {}, "indented\n"},
        {"$include s\n$include nope\nlast\n", {}, "last\n"}, // the snippets of one file are gone for the next
        {"snippet " + name63 + "\n{\n" + body + "}\n$include " + name63 + "\n", {}, body},
        {"x\n  mirel_shadervars\n{\nfloat a = 1;\nnot read\n}\ny\n", {}, "x\n" + block + "y\n"},
        {"x\nmirel_shadervars\n{\nfloat a = 1;\n", {}, "x\n" + block}, // the block runs to the end
    };
    for (const auto& [input, files, expected] : cases)
    {
        SCOPED_TRACE(input.substr(0, 80));
        for (const auto& [name, text] : files)
            tree.Write("shaders/" + name, text);
        ReportCapture reports;
        EXPECT_EQ(Expand(input), expected);
        EXPECT_EQ(reports.Count(), 0);
    }
    EXPECT_EQ(SnippetManager().Count(), 0);
}

TEST_F(Shaders, FailuresLeaveNoTemporaryFileAndNoSource)
{
    tree.Write("shaders/long.hlsl", "keep\n" + std::string(1100, 'x') + "\n");
    const std::string cases[] = {
        "snippet s\nbody\n}\n",
        "snippet s\n{\n{\nbody\n}\n", // the file ends inside the block
        "snippet s\n",
        "snippet s\n{\n" + Lines(81, 100) + "}\n", // a body over 8096 bytes
        "snippet " + std::string(64, 'n') + "\n{\nx\n}\n",
        "keep\n" + std::string(1100, 'x') + "\n", // a line longer than the line buffer
        "@include long.hlsl\n",                   // or one that an include brings in
        "mirel_shadervars\nfloat a = 1;\n}\n",
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.substr(0, 40));
        ReportCapture reports;
        EXPECT_EQ(Expand(c), "failed");
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
    }
    // The constant pass reports an output it cannot create.
    std::filesystem::create_directories(tree.Path("shaders/expandedFinalFile_0.hlsl/x"));
    ReportCapture reports;
    EXPECT_FALSE(ExpandShaderSource(cfg));
    EXPECT_NE(reports.Last().find("System error, cannot open file"), std::string::npos);
}

using ShadersDeathTest = Shaders;

// The other passes end the program with -1, after removing the files of the earlier passes.
TEST_F(ShadersDeathTest, AnUncreatableOutputEndsTheProgram)
{
    // Forked without re-running the program, so the child works in this test's tree.
    GTEST_FLAG_SET(death_test_style, "fast");
    tree.Write("shaders/s.hlsl", "line\n");
    std::strcpy(cfg.shaderName, "s");
    for (const char* blocked :
         {"expandedIncludesFile_0.txt", "expandedSnippetsFile_0.txt", "expandedConstantsFile_0.txt"})
    {
        SCOPED_TRACE(blocked);
        std::filesystem::create_directories(tree.Path(std::string("shaders/") + blocked));
        EXPECT_EXIT(ExpandShaderSource(cfg), ::testing::ExitedWithCode(255), "");
        EXPECT_TRUE(tree.TempFiles().empty());
    }
}

TEST_F(Shaders, EveryVariableIsFollowedByItsPadding)
{
    ReportCapture reports;
    ShaderVarList list =
        ReadVars("float a = 1.5;\nfloat3 b = 1, 2, 3;\nmatrix m = 5 5 5 5 5;\nint i = -3.7;\n"
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
    const float* m = list.Data()[4].matrix;
    EXPECT_EQ(std::vector<float>(m, m + 16),
              (std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
}

TEST_F(Shaders, WrongVariableLinesAreRefused)
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
        EXPECT_EQ(ReadVars(line + "\n").count, 0);
        EXPECT_EQ(reports.Count(), 1);
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
    }
}

TEST_F(Shaders, MissingFileBlockOrBrace)
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

TEST_F(Shaders, AllFourPassesGiveTheCompilerText)
{
    tree.Write("shaders/lib.hlsl", "snippet Out\n{\nstruct Out\n{\n  float4 p : SV_Position;\n};\n}\n");
    tree.Write("shaders/s.hlsl",
               "// top\n@include lib.hlsl\n\n  mirel_shadervars\n{\n    float fade = 0.5;\n}\n"
               "$include Out\nOut mainVS() { Out o = (Out)0; return o; }\n");
    ReadShaderVars("s", cfg.vars);
    ASSERT_EQ(cfg.vars.count, 2);
    std::strcpy(cfg.shaderName, "s");
    ReportCapture reports;
    ASSERT_TRUE(ExpandShaderSource(cfg));
    const std::string expected = "// top\n" + kBuffer + "float  fade;\nfloat3  " + cfg.vars.Data()[1].name +
                                 ";\n\n}\nstruct Out\n{\nfloat4 p : SV_Position;\n};\n"
                                 "Out mainVS() { Out o = (Out)0; return o; }\n";
    EXPECT_EQ(std::string(cfg.source), expected);
    EXPECT_EQ(cfg.sourceLength, expected.size());
    EXPECT_EQ(reports.Count(), 0);
    // A second expansion replaces the text (the old one is freed).
    ASSERT_TRUE(ExpandShaderSource(cfg));
    EXPECT_EQ(std::string(cfg.source), expected);
}

} // namespace
