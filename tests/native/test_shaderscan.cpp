// HLSL that Wine's compiler accepts but Direct3D 11.0 or Microsoft's compiler refuse: the scan
// over snippets of each kind, and every shader the program ships or holds passes it.
#include "cadoracompute.h"
#include "render/shaderscan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using miResources::ShaderRule;
namespace fs = std::filesystem;

namespace
{

std::string Findings(const std::string& name, const std::string& text)
{
    std::string out;
    for (const miResources::ShaderFinding& f : miResources::ScanPortableHlsl(text))
        out += name + ":" + std::to_string(f.line) + ": " + miResources::ShaderRuleName(f.rule) + " (" +
               f.what + ")\n";
    return out;
}

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ShaderScan, FindsWhatOnlyWineAccepts)
{
    const std::string cs = "[numthreads(1, 1, 1)] void mainCS(uint3 d : SV_DispatchThreadID) {";
    // A snippet and the rules it breaks.
    const std::vector<std::pair<std::string, std::vector<ShaderRule>>> cases = {
        // Reads of typed UAVs of more than one 32-bit component, in every form.
        {"RWBuffer<float4> b : register(u0);\n" + cs + "\nfloat4 e = b[d.x];\n b[d.x] = e; }",
         {ShaderRule::kTypedUavLoad}},
        {"RWTexture2D<float4> t;" + cs + " t[d.xy] = t[d.xy] * 0.5; }", {ShaderRule::kTypedUavLoad}},
        {"RWBuffer< uint2 >b;" + cs + " b [ d.x ] += 1; }", {ShaderRule::kTypedUavLoad}},
        {"RWBuffer<float4> b;" + cs + " b[d.x].x = 1; }", {ShaderRule::kTypedUavLoad}},
        {"RWBuffer<float4> b;" + cs + " if (all(b[d.x] == 0)) return; }", {ShaderRule::kTypedUavLoad}},
        {"RWTexture3D<unorm float4> t;" + cs + " float4 v = t.Load(int3(d)); }", {ShaderRule::kTypedUavLoad}},
        {"RWTexture2DArray<half> t;" + cs + " float v = t[d]; }", {ShaderRule::kTypedUavLoad}},
        {"RWBuffer<float4> b[2];" + cs + " b[1][d.x]++; }", {ShaderRule::kTypedUavLoad}},
        // Whole-element stores, single 32-bit components, names alike, comments.
        {"RWBuffer<float4> b;" + cs + " b[d.x] = float4(1, 2, 3, 4); }", {}},
        {"RWBuffer<float> b;" + cs + " float v = b[d.x * 4]; b[d.x * 4] = v + v * v; }", {}},
        {"RWBuffer<uint> c; RWTexture2D<int> t;" + cs + " c[d.x] += 1; t[d.xy] = t[d.xy] - 1; }", {}},
        {"RWBuffer<float4> out4; RWBuffer<float> out;" + cs + " out[d.x] = out[d.x] + 1; out4[d.x] = 0; }",
         {}},
        {"RWBuffer<float4> b;" + cs + " // float4 e = b[d.x];\n /* b[d.x] += 1; */ b[d.x] = 0; }", {}},
        // Thread groups, UAV registers and groupshared memory past Direct3D 11.0's limits.
        {"[numthreads(2048, 1, 1)] void f() {}", {ShaderRule::kThreadGroupSize}},
        {"[numthreads(32, 32, 2)] void f() {}", {ShaderRule::kThreadGroupSize}},
        {"[ numthreads( 1,1,128 ) ] void f() {}", {ShaderRule::kThreadGroupSize}},
        {"[numthreads(1024, 1, 1)] void f() {} [numthreads(8, 8, 16)] void g() {} [numthreads(1, 1, 64)] "
         "void h() {}",
         {}},
        {"RWBuffer<float> b : register( u8 );", {ShaderRule::kUavRegister}},
        {"RWBuffer<float> b : register(u7); Texture2D t : register(t9); cbuffer c : register(b12) {}", {}},
        {"groupshared float g[10240];", {ShaderRule::kGroupSharedBytes}},
        {"groupshared float a[5000]; groupshared float4 b[10][100];", {ShaderRule::kGroupSharedBytes}},
        {"groupshared float4x4 m[256]; groupshared uint n[256][17];", {ShaderRule::kGroupSharedBytes}},
        {"groupshared float g[8192];", {}},
    };
    for (const auto& [text, rules] : cases)
    {
        std::vector<ShaderRule> found;
        for (const miResources::ShaderFinding& f : miResources::ScanPortableHlsl(text))
            found.push_back(f.rule);
        EXPECT_EQ(found, rules) << text << "\n" << Findings("snippet", text);
    }
    const std::vector<miResources::ShaderFinding> first = miResources::ScanPortableHlsl(cases[0].first);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].line, 3) << "the line of the read, not of the declaration or the store";
}

// Every shader that reaches Microsoft's compiler on Windows: the asset tree's sources and
// materials, the busy shader the controller holds, and the shader texts in the engine's and the
// demo's sources (raw string literals that look like HLSL).
TEST(ShaderScan, EveryShippedAndHeldShaderPasses)
{
    std::string report;
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(MIREL_SOURCE_ASSETS))
    {
        const std::string ext = e.path().extension().string();
        if (ext != ".hlsl" && ext != ".mat" && ext != ".matcfg") continue;
        files += ext == ".hlsl";
        report += Findings(e.path().string(), ReadFile(e.path()));
    }
    EXPECT_GE(files, 15) << "the shipped shader sources were not found";
    report += Findings("kBusyShaderSource", miCadora::kBusyShaderSource);
    static const std::regex literal("R\"([^(\\s]*)\\(([\\s\\S]*?)\\)\\1\"");
    int held = 0;
    for (const char* dir : {"engine", "demo"})
        for (const auto& e : fs::recursive_directory_iterator(fs::path(MIREL_SOURCE_ROOT) / dir))
        {
            const std::string ext = e.path().extension().string();
            if (ext != ".cpp" && ext != ".h") continue;
            const std::string text = ReadFile(e.path());
            for (std::sregex_iterator m(text.begin(), text.end(), literal), end; m != end; ++m)
            {
                const std::string body = (*m)[2];
                if (body.find("SV_") == std::string::npos && body.find("numthreads") == std::string::npos)
                    continue;
                ++held;
                report += Findings(e.path().string(), body);
            }
        }
    EXPECT_GE(held, 1) << "the sprite shader's text was not found";
    EXPECT_EQ(report, "");
}

} // namespace
