// The .matcfg and .mat readers, texture resolution, constant packing and variable updates.
#include "support/fake_device.h"
#include "support/material_fixture.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

using namespace miResources;
using mirel::test::AssetTree;
using mirel::test::ReportCapture;

namespace
{

const char* const kHeader[7] = {"shader = s",
                                "stages = vertex pixel",
                                "layout = pnttb",
                                "prim = trilist",
                                "depth = true all less_equal",
                                "raster = solid back true",
                                "blend = false add one zero add one zero 15"};

// The seven header lines with some replaced ("" drops a line), then the rest.
std::string CfgText(const std::map<int, std::string>& replaced = {}, const std::string& rest = "")
{
    std::string text;
    for (int i = 0; i < 7; ++i)
    {
        auto it = replaced.find(i);
        std::string line = it == replaced.end() ? kHeader[i] : it->second;
        if (!line.empty()) text += line + "\n";
    }
    return text + rest;
}

class CountingCfg : public MaterialCfg
{
  public:
    void Create() override { ++creates; }
    int creates = 0;
};

class MatCfg : public ::testing::Test
{
  protected:
    MatCfg()
    {
        tree.Write("shaders/s.hlsl",
                   "mirel_shadervars\n{\nfloat fade = 0.5;\nfloat4 tint = 1 2 3 4;\n}\nbody\n");
    }
    ~MatCfg() override { cfg.OnRelease(); }

    bool Parse(const std::string& text)
    {
        tree.Write("materials/c.matcfg", text);
        cfg.OnRelease();
        cfg.OnCreate();
        std::strcpy(cfg.name, "c");
        cfg.creates = 0;
        return ParseMaterialCfg(cfg);
    }

    AssetTree tree;
    CountingCfg cfg;
};

struct FieldCase
{
    int line;
    const char* text;
    std::function<std::vector<int64_t>(const MaterialCfg&)> fields;
    std::vector<int64_t> expected;
    int reports;
};

int64_t Bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

TEST_F(MatCfg, HeaderWordsMapToTheirValues)
{
    auto stages = [](const MaterialCfg& c) { return std::vector<int64_t>{c.stageMask}; };
    auto layout = [](const MaterialCfg& c) { return std::vector<int64_t>{c.layout}; };
    auto prim = [](const MaterialCfg& c) { return std::vector<int64_t>{c.topology}; };
    auto depth = [](const MaterialCfg& c) {
        return std::vector<int64_t>{c.depthEnable, c.depthWriteMask, c.depthFunc};
    };
    auto raster = [](const MaterialCfg& c)
    {
        return std::vector<int64_t>{c.fillMode,
                                    c.cullMode,
                                    c.depthClip,
                                    c.depthBias,
                                    Bits(c.depthBiasClamp),
                                    Bits(c.slopeScaledDepthBias)};
    };
    auto blend = [](const MaterialCfg& c)
    {
        return std::vector<int64_t>{c.blendEnable,    c.blendOp,      c.srcBlend,
                                    c.destBlend,      c.blendOpAlpha, c.srcBlendAlpha,
                                    c.destBlendAlpha, c.writeMask,    c.alphaTest};
    };
    const FieldCase cases[] = {
        {1, "stages = pixel vertex geometry hull domain", stages, {31}, 0},
        {1, "stages = vertex bogus compute", stages, {2}, 0},
        {1, "stages = a b c d e pixel", stages, {0}, 0}, // only tokens 2 to 6 count
        {2, "layout = pnt", layout, {0}, 0},
        {2, "layout = strand", layout, {6}, 0},
        {2, "layout = PNT", layout, {-1}, 0},
        {3, "prim = linelist", prim, {2}, 0},
        {3, "prim = pointlist", prim, {1}, 0},
        {3, "prim = strips", prim, {4}, 0},
        {4, "depth = true zero equal", depth, {1, 0, 3}, 0},
        {4, "depth = TRUE all never", depth, {0, 1, 1}, 0},
        {4, "depth = false x greater", depth, {0, 1, 4}, 0},
        {5, "raster = solid none true", raster, {3, 1, 1, 0, 0, 0}, 0},
        {5, "raster = wire front false", raster, {2, 2, 0, 0, 0, 0}, 0},
        {5, "raster = solid back true -3.7 0.25 1.5", raster, {3, 3, 1, -3, Bits(0.25f), Bits(1.5f)}, 0},
        {5, "raster = solid back true 1e30 0 0", raster, {3, 3, 1, INT32_MAX, 0, 0}, 0},
        {5, "raster = solid sideways true", raster, {3, 0, 1, 0, 0, 0}, 1},
        {6,
         "blend = true subtract src_alpha src_inv_alpha rev_subtract dest_alpha zero 7 alphatest",
         blend,
         {1, 2, 5, 6, 3, 7, 1, 7, 1},
         0},
        {6, "blend = true min one one add one one 15 other", blend, {1, 4, 2, 2, 1, 2, 2, 15, 0}, 0},
        {6, "blend = true mul one half add one one 15", blend, {1, 0, 2, 0, 1, 2, 2, 15, 0}, 2},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        ReportCapture reports;
        EXPECT_TRUE(Parse(CfgText({{c.line, c.text}})));
        EXPECT_EQ(c.fields(cfg), c.expected);
        EXPECT_EQ(reports.Count(), c.reports);
        EXPECT_EQ(cfg.creates, 1);
    }
}

TEST_F(MatCfg, TokenCountsAndOrderAreChecked)
{
    const std::map<int, std::string> broken[] = {
        {{0, "shader = s extra"}},
        {{0, "shader s"}},
        {{0, "shader = " + std::string(64, 'n')}},
        {{1, "stages ="}},
        {{2, "layout = pnttb x"}},
        {{3, "prim ="}},
        {{4, "depth = true all"}},
        {{4, "depth = true all less_equal x"}},
        {{5, "raster = solid back true 1"}},
        {{5, "raster = solid back true 1 2 3 4"}},
        {{6, "blend = false add one zero add one zero"}},
        {{6, "blend = false add one zero add one zero 15 alphatest x"}},
        {{2, kHeader[3]}, {3, kHeader[2]}}, // two lines swapped
        {{5, ""}, {6, ""}},                 // the file ends early
        {{0, "Shader = s"}},
    };
    for (const auto& b : broken)
    {
        SCOPED_TRACE(CfgText(b));
        ReportCapture reports;
        EXPECT_FALSE(Parse(CfgText(b)));
        EXPECT_EQ(cfg.creates, 0);
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
        EXPECT_TRUE(tree.TempFiles().empty());
    }
}

TEST_F(MatCfg, SamplerBlocks)
{
    const std::string blocks =
        "ps\n{\n"
        "sampler = 0 2d min_mag_mip_linear wrap mirror clamp never 0 max\n"
        "sampler = 3 srv min_mag_mip_point border border border equal 1 2\n"
        "sampler = 4 uav min_mag_mip_point border border border equal 1 2\n"
        "sampler = 5 depth_srv compare_min_mag_linear_mip_point border clamp wrap less 0.5 8\n"
        "sampler = 6 whatever min_mag_mip_point wrap wrap wrap equal 0 1\n"
        "comment = 7 2d min_mag_mip_point wrap wrap wrap equal 0 1\n"
        "}\nvs\n{\n"
        "sampler = 15 2d min_mag_mip_point wrap wrap wrap never 0 1\n"
        "sampler = 15 2d min_mag_mip_linear clamp clamp clamp never 0 2\n"
        "sampler = 16 2d min_mag_mip_point wrap wrap wrap never 0 1\n"
        "sampler = -1 2d min_mag_mip_point wrap wrap wrap never 0 1\n"
        "sampler = x 2d min_mag_mip_point wrap wrap wrap never 0 1\n"
        "sampler = 1 2d\n"
        "sampler = 2 2d bogus wrap sideways wrap never 0 1\n"
        "}\nend of the samplers\nds\n{\n"
        "sampler = 9 2d min_mag_mip_point wrap wrap wrap never 0 1\n}\n";
    ReportCapture reports;
    ASSERT_TRUE(Parse(CfgText({}, blocks)));
    // 16, -1, x, the short line, and the two bad words of slot 2.
    EXPECT_EQ(reports.Count(), 6);
    auto record = [](const SamplerRecord& r)
    {
        return std::vector<int64_t>{r.defined,  r.filter,     r.addressU,     r.addressV,
                                    r.addressW, r.comparison, Bits(r.minLod), Bits(r.maxLod)};
    };
    const auto& ps = cfg.samplers[kStagePixel];
    const auto& vs = cfg.samplers[kStageVertex];
    EXPECT_EQ(record(ps[0]), (std::vector<int64_t>{1, 0x15, 1, 2, 3, 1, 0, 0x7F7FFFFF}));
    EXPECT_EQ(ps[3].defined, 0);
    EXPECT_EQ(ps[4].defined, 0);
    EXPECT_EQ(record(ps[5]), (std::vector<int64_t>{1, 0x94, 4, 3, 1, 4, Bits(0.5f), Bits(8.0f)}));
    EXPECT_EQ(record(ps[6]), (std::vector<int64_t>{1, 0, 1, 1, 1, 3, 0, Bits(1.0f)}));
    EXPECT_EQ(ps[7].defined, 0);
    EXPECT_EQ(record(vs[15]), (std::vector<int64_t>{1, 0x15, 3, 3, 3, 1, 0, Bits(2.0f)}));
    EXPECT_EQ(record(vs[2]), (std::vector<int64_t>{1, 0, 1, 0, 1, 1, 0, Bits(1.0f)}));
    EXPECT_EQ(vs[1].defined, 0);
    EXPECT_EQ(cfg.samplers[kStageDomain][9].defined, 0); // after the end of the file
}

TEST_F(MatCfg, BrokenSamplerBlocks)
{
    const char* blocks[] = {"ps\nsampler = 0 2d min_mag_mip_point wrap wrap wrap never 0 1\n}\n",
                            "ps\n{\nsampler = 0 2d min_mag_mip_point wrap wrap wrap never 0 1\n", "gs\n"};
    for (const char* b : blocks)
    {
        SCOPED_TRACE(b);
        ReportCapture reports;
        EXPECT_FALSE(Parse(CfgText({}, b)));
        EXPECT_EQ(cfg.creates, 0);
        EXPECT_EQ(reports.Count(), 1);
    }
}

TEST_F(MatCfg, VariablesAndSourceComeFromTheShader)
{
    tree.Write("materials/inc.txt", "snippet layoutLine\n{\nlayout = pc\n}\n");
    const int32_t pad = PaddingCounter();
    ReportCapture reports;
    ASSERT_TRUE(Parse("@include inc.txt\n" + CfgText({{2, "$include layoutLine"}})));
    EXPECT_EQ(reports.Count(), 0);
    EXPECT_EQ(cfg.layout, 3);
    EXPECT_EQ(std::string(cfg.shaderName), "s");
    ASSERT_EQ(cfg.vars.count, 3);
    EXPECT_EQ(std::string(cfg.vars.Data()[1].name), "dummy_align_" + std::to_string(pad));
    ASSERT_NE(cfg.source, nullptr);
    EXPECT_EQ(std::string(cfg.source),
              "\ncbuffer ConstantBuffer : register( b4 )\n { \nfloat  fade;\nfloat3  dummy_align_" +
                  std::to_string(pad) + ";\nfloat4 tint;\n\n}\nbody\n");
    EXPECT_TRUE(tree.TempFiles().empty());
}

TEST_F(MatCfg, MissingFiles)
{
    {
        ReportCapture reports;
        std::strcpy(cfg.name, "absent");
        EXPECT_FALSE(ParseMaterialCfg(cfg));
        EXPECT_NE(reports.Last().find("Material Cfg file not found: " + tree.Path("materials/absent.matcfg")),
                  std::string::npos);
    }
    ReportCapture reports;
    EXPECT_FALSE(Parse(CfgText({{0, "shader = nothere"}})));
    EXPECT_NE(reports.Last().find("Shader file not found: " + tree.Path("shaders/nothere.hlsl")),
              std::string::npos);
    EXPECT_EQ(cfg.creates, 0);
    EXPECT_TRUE(tree.TempFiles().empty());
}

// ---- .mat files ------------------------------------------------------------------------------

class MatFile : public ::testing::Test
{
  protected:
    MatFile()
    {
        tree.Write("shaders/s.hlsl", "mirel_shadervars\n{\nfloat fade = 0.5;\nfloat4 tint = 1 2 3 4;\n}\n");
        tree.Write("materials/c.matcfg", CfgText());
    }

    Material* Load(const std::string& text, const char* name = "m", bool force = false)
    {
        tree.Write(std::string("materials/") + name + ".mat", text);
        Material* m = MaterialManager().Find(name);
        if (m)
        {
            m->OnRelease();
            m->OnCreate();
        }
        else
        {
            m = MaterialManager().Create(name);
        }
        m->Load(force);
        return m;
    }

    AssetTree tree;
};

TEST_F(MatFile, OverridesReplaceDeclaredVariablesOfTheSameType)
{
    ReportCapture reports;
    Material* m = Load("config = c\nmirel_shadervars\n{\nfloat fade = 0.25;\nfloat4 unknown = 1 2 3 4;\n"
                       "float4 fade = 9 9 9 9;\nint tint = 3;\n}\n");
    EXPECT_EQ(reports.Count(), 2); // the two type changes
    ASSERT_EQ(m->vars.count, 3);
    EXPECT_EQ(m->vars.Data()[0].type, kVarFloat);
    EXPECT_FLOAT_EQ(m->vars.Data()[0].value[0], 0.25f);
    EXPECT_EQ(m->vars.Data()[2].type, kVarFloat4);
    EXPECT_FLOAT_EQ(m->vars.Data()[2].value[3], 4.0f);
    // The configuration keeps its own values.
    MaterialCfg* c = MaterialCfgs().FromHandle(m->configId);
    ASSERT_NE(c, nullptr);
    EXPECT_FLOAT_EQ(c->vars.Data()[0].value[0], 0.5f);
    EXPECT_EQ(std::string(m->configName), "c");
    EXPECT_TRUE(tree.TempFiles().empty());
}

TEST_F(MatFile, BindingLines)
{
    ReportCapture reports;
    Material* m = Load("config = c\nps_textures\n{\ntexture = 0 stale.png 2d\n}\n"
                       "ps_textures\n{\n"
                       "texture = 3 rock.png 2d\n"
                       "texarray = 4 7 2darray arr\n"
                       "texarray = 5 8 3d vol\n"
                       "texarray = 6 9 srv buf\n"
                       "texture = 7 odd.png shiny\n"
                       "texture = 16 over.png 2d\n"
                       "texture = 1 short\n"
                       "texarray = 2 1 2darray\n"
                       "texture = 8 " +
                       std::string(64, 'n') +
                       " 2d\n"
                       "texture = 9 " +
                       std::string(63, 'n') +
                       " depth_srv\n"
                       "other = 10 x 2d\n"
                       "}\nvs_textures\n{\ntexture = 2 v.png cube\n}\n"
                       "ds_textures\n{\ntexture = 15 d uav\n}\n"
                       "end\nhs_textures\n{\ntexture = 0 late 2d\n}\n");
    // shiny, slot 16, the two short lines, the 64-character name.
    EXPECT_EQ(reports.Count(), 5);
    struct Expected
    {
        std::string name;
        int32_t kind, slot, a, b;
    };
    const std::vector<Expected> ps = {{"rock.png", 0, 3, 0, 0}, {"arr", 3, 4, 7, 2},
                                      {"vol", 4, 5, 8, 3},      {"buf", 6, 6, 9, 0},
                                      {"odd.png", 0, 7, 0, 0},  {std::string(63, 'n'), 8, 9, 0, 0}};
    ASSERT_EQ(m->bindings[kStagePixel].count, static_cast<int32_t>(ps.size()));
    for (size_t i = 0; i < ps.size(); ++i)
    {
        const TextureBinding& b = m->bindings[kStagePixel].Data()[i];
        SCOPED_TRACE(ps[i].name);
        EXPECT_EQ(b.name, ps[i].name);
        EXPECT_EQ(b.kind, ps[i].kind);
        EXPECT_EQ(b.slot, ps[i].slot);
        EXPECT_EQ(b.arrayA, ps[i].a);
        EXPECT_EQ(b.arrayB, ps[i].b);
        EXPECT_EQ(b.resourceId, -1);
    }
    ASSERT_EQ(m->bindings[kStageVertex].count, 1);
    EXPECT_EQ(m->bindings[kStageVertex].Data()[0].kind, kTexCube);
    ASSERT_EQ(m->bindings[kStageDomain].count, 1);
    EXPECT_EQ(m->bindings[kStageDomain].Data()[0].kind, kTexUav);
    EXPECT_EQ(m->bindings[kStageHull].count, 0);
}

TEST_F(MatFile, MalformedFiles)
{
    const struct
    {
        const char* label;
        std::string text;
        bool configLoaded;
        const char* message;
    } cases[] = {
        {"config is not first", "ps_textures\n{\n}\nconfig = c\n", false, "Parse error"},
        {"config without a name", "config =\n", false, "Parse error"},
        {"a configuration name of 64 characters", "config = " + std::string(64, 'c') + "\n", false,
         "Parse error"},
        {"block without brace", "config = c\nps_textures\ntexture = 0 a 2d\n}\n", true, "Parse error"},
        {"block without end", "config = c\nmirel_shadervars\n{\nfloat fade = 1;\n", true, "Parse error"},
        {"no configuration file", "config = nocfg\n", false, "Material Cfg file not found"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        ReportCapture reports;
        Material* m = Load(c.text);
        EXPECT_GE(reports.Count(), 1);
        EXPECT_NE(reports.Last().find(c.message), std::string::npos);
        EXPECT_EQ(m->configId >= 0 && MaterialCfgs().FromHandle(m->configId)->source != nullptr,
                  c.configLoaded);
        EXPECT_TRUE(tree.TempFiles().empty());
    }
    ReportCapture reports;
    Material* m = MaterialManager().Create("absent");
    m->Load(false);
    EXPECT_NE(reports.Last().find("Material file not found: " + tree.Path("materials/absent.mat")),
              std::string::npos);
    EXPECT_EQ(m->configId, -1);
}

TEST_F(MatFile, ConfigurationsAreReadOnceUnlessForced)
{
    Material* a = Load("config = c\n", "a");
    const int32_t id = a->configId;
    ASSERT_GE(id, 0);
    EXPECT_EQ(MaterialCfgs().FromHandle(id)->topology, d3d::kTopologyTriangleList);

    tree.Write("materials/c.matcfg", CfgText({{3, "prim = linelist"}}));
    Material* b = Load("config = c\n", "b");
    EXPECT_EQ(b->configId, id);
    EXPECT_EQ(MaterialCfgs().FromHandle(id)->topology, d3d::kTopologyTriangleList);

    Material* forced = Load("config = c\n", "a", true);
    EXPECT_EQ(forced->configId, id);
    EXPECT_EQ(MaterialCfgs().FromHandle(id)->topology, d3d::kTopologyLineList);
    EXPECT_EQ(MaterialCfgs().Count(), 1);
}

TEST_F(MatFile, DeclaredCfgIdThatNoLongerResolves)
{
    // The configuration pool is swapped out from under the material between its two steps.
    struct VanishingPool : PooledMaterialCfgs<MaterialCfg>
    {
        MaterialCfg* FromHandle(int32_t) override { return nullptr; }
    } pool;
    SetMaterialCfgs(&pool);
    ReportCapture reports;
    Material* m = Load("config = c\nmirel_shadervars\n{\nfloat fade = 2;\n}\n");
    SetMaterialCfgs(nullptr);
    EXPECT_NE(reports.Last().find("MatCfg not found"), std::string::npos);
    EXPECT_EQ(m->vars.count, 0);
    pool.Clear();
}

// ---- texture resolution ----------------------------------------------------------------------

TextureBinding Binding(const char* name, int32_t kind, int32_t slot)
{
    TextureBinding b = {};
    std::strcpy(b.name, name);
    b.kind = kind;
    b.slot = slot;
    b.resourceId = -1;
    return b;
}

TEST(ResolveTextures, EachKindEndsInItsTable)
{
    AssetTree tree;
    mirel::test::FakeDevice host;
    host.gpu["cascade1"] = 1;    // a render target that exists already
    host.textures["orphan"] = 2; // loaded before, without a GPU resource
    miRender::SetDeviceHost(&host);
    Material m;
    m.bindings[kStagePixel].Append(Binding("hdrMain", kTexSrv, 0));
    m.bindings[kStagePixel].Append(Binding("cascade0", kTexDepthSrv, 1));
    m.bindings[kStagePixel].Append(Binding("cascade1", kTexDepthSrv, 2));
    m.bindings[kStagePixel].Append(Binding("rock.png", kTex2d, 3));
    m.bindings[kStagePixel].Append(Binding("leaf.png", kTexAlphaTest, 4));
    m.bindings[kStagePixel].Append(Binding("orphan", kTex2d, 5));
    m.bindings[kStageVertex].Append(Binding("sky.dds", kTexCube, 6));
    m.bindings[kStageDomain].Append(Binding("buf", kTexUav, 7));
    ReportCapture reports;
    m.ResolveTextures();
    EXPECT_EQ(reports.Count(), 0);
    EXPECT_EQ(m.srvIds[kStagePixel][0], host.gpu["hdrMain"]);
    EXPECT_EQ(m.srvIds[kStagePixel][1], host.gpu.at("cascade0_depth"));
    EXPECT_EQ(host.gpu.count("cascade0"), 0u);
    // The depth of a target that exists already, not its colour.
    EXPECT_EQ(m.srvIds[kStagePixel][2], host.gpu.at("cascade1_depth"));
    EXPECT_NE(m.srvIds[kStagePixel][2], 1);
    EXPECT_EQ(m.srvIds[kStagePixel][3], host.gpu["rock.png"]);
    EXPECT_EQ(m.bindings[kStagePixel].Data()[3].resourceId, host.textures["rock.png"]);
    EXPECT_EQ(m.srvIds[kStagePixel][4], host.gpu["leaf.png"]);
    EXPECT_EQ(m.alphaTestTextureId, host.gpu["leaf.png"]);
    EXPECT_EQ(m.srvIds[kStagePixel][5], -1);
    EXPECT_EQ(m.srvIds[kStageVertex][6], host.gpu["sky.dds"]);
    EXPECT_EQ(m.uavIds[kStageDomain][7], host.gpu["buf"]);
    EXPECT_EQ(m.srvIds[kStageDomain][7], -1);
    EXPECT_EQ(host.created, (std::vector<std::string>{"rock.png:0", "leaf.png:2", "sky.dds:5"}));

    // A second material sharing the alpha texture finds it and still knows its alpha test.
    Material other;
    other.bindings[kStagePixel].Append(Binding("leaf.png", kTexAlphaTest, 0));
    other.ResolveTextures();
    EXPECT_EQ(other.alphaTestTextureId, host.gpu["leaf.png"]);
    EXPECT_EQ(host.created.size(), 3u);
    miRender::SetDeviceHost(nullptr);
}

TEST(ResolveTextures, AnEmptyTextureKindWithoutResourceIsReported)
{
    AssetTree tree;
    mirel::test::FakeDevice host;
    miRender::SetDeviceHost(&host);
    Material m;
    m.bindings[kStagePixel].Append(Binding("filledLater", kTexSrvEmpty, 2));
    ReportCapture reports;
    m.ResolveTextures();
    EXPECT_NE(reports.Last().find("A resource should have been created: filledLater"), std::string::npos);
    EXPECT_EQ(m.srvIds[kStagePixel][2], -1);
    miRender::SetDeviceHost(nullptr);
}

// ---- constants and variables -----------------------------------------------------------------

ShaderVar Var(const char* name, int32_t type, std::vector<float> values = {})
{
    ShaderVar v = {};
    std::strcpy(v.name, name);
    v.type = type;
    for (size_t i = 0; i < values.size() && i < 4; ++i)
        v.value[i] = values[i];
    if (type == kVarMatrix)
        for (int i = 0; i < 16; ++i)
            v.matrix[i] = static_cast<float>(i);
    return v;
}

uint32_t F(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

TEST(Constants, VariablesArePackedInListOrder)
{
    AssetTree tree;
    mirel::test::FakeDevice host;
    miRender::SetDeviceHost(&host);
    Material* m = MaterialManager().Create("packed");
    m->vars.Append(Var("f", kVarFloat, {1.5f}));
    m->vars.Append(Var("dummy_align_1", kVarFloat3));
    m->vars.Append(Var("i3", kVarInt3, {-3.7f, 2.9f, 1e10f}));
    m->vars.Append(Var("i", kVarInt, {-1e10f}));
    m->vars.Append(Var("i4", kVarInt4, {NAN, 7.0f, -0.5f, 2147483520.0f}));
    m->vars.Append(Var("m", kVarMatrix));
    ReportCapture reports;
    m->BuildConstants();
    EXPECT_EQ(reports.Count(), 0);
    std::vector<uint32_t> expected = {F(1.5f),
                                      0,
                                      0,
                                      0,
                                      static_cast<uint32_t>(-3),
                                      2,
                                      static_cast<uint32_t>(INT32_MAX),
                                      static_cast<uint32_t>(INT32_MIN),
                                      0,
                                      7,
                                      0,
                                      2147483520u};
    for (int k = 0; k < 16; ++k)
        expected.push_back(F(static_cast<float>(k)));
    ASSERT_EQ(m->constantWordCount, static_cast<int32_t>(expected.size()));
    EXPECT_EQ(std::vector<uint32_t>(m->constantData, m->constantData + m->constantWordCount), expected);
    ASSERT_EQ(host.buffers.size(), 1u);
    EXPECT_EQ(host.buffers[0].name, "packed_matConst");
    EXPECT_EQ(host.buffers[0].registerSlot, 4);
    EXPECT_EQ(host.buffers[0].bytes, 4 * static_cast<int32_t>(expected.size()));
    EXPECT_EQ(host.buffers[0].data, m->constantData);
    EXPECT_EQ(m->constantBufferId, host.bufferIds.at("packed_matConst"));
    // Rebuilding points the buffer at new data.
    const uint32_t* before = m->constantData;
    m->BuildConstants();
    EXPECT_NE(m->constantData, before);
    EXPECT_EQ(host.buffers[0].data, m->constantData);
    EXPECT_EQ(m->constantBufferId, host.bufferIds.at("packed_matConst"));
    miRender::SetDeviceHost(nullptr);
}

TEST(Constants, EmptyAndMisalignedLists)
{
    AssetTree tree;
    mirel::test::FakeDevice host;
    miRender::SetDeviceHost(&host);
    Material* empty = MaterialManager().Create("empty");
    empty->BuildConstants();
    EXPECT_EQ(empty->constantBufferId, -1);
    EXPECT_EQ(empty->constantData, nullptr);
    EXPECT_TRUE(host.buffers.empty());

    Material* odd = MaterialManager().Create("odd");
    odd->vars.Append(Var("lonely", kVarFloat, {2.0f}));
    ReportCapture reports;
    odd->BuildConstants();
    EXPECT_NE(reports.Last().find("Constant buffer should be aligned on float4 boundary"), std::string::npos);
    EXPECT_EQ(host.buffers.size(), 1u);
    miRender::SetDeviceHost(nullptr);
}

// Constant buffers in a pool, found again by the name formed for them, as the device layer does.
class PooledBufferHost : public mirel::test::FakeDevice
{
  public:
    int32_t CreateConstantBuffer(const char* name, int32_t, int32_t, void*) override
    {
        mirel::ManagedResource* b = pool.Find(name);
        if (!b) b = pool.Create(name);
        return b ? b->handle : -1;
    }
    mirel::ObjectManagerPooled<mirel::ManagedResource> pool{128};
};

TEST(Constants, ReloadingAMaterialWhoseBufferNameRunsOverKeepsOneBuffer)
{
    AssetTree tree;
    tree.Write("shaders/s.hlsl", "mirel_shadervars\n{\nfloat4 tint = 1 2 3 4;\n}\n");
    tree.Write("materials/c.matcfg", CfgText());
    const std::string name(60, 'n'); // fits the pools; with "_matConst" it does not
    tree.Write("materials/" + name + ".mat", "config = c\n");
    PooledBufferHost host;
    miRender::SetDeviceHost(&host);
    ReportCapture reports;
    Material* m = LoadMaterial(name.c_str());
    ASSERT_NE(m, nullptr);
    const int32_t id = m->constantBufferId;
    EXPECT_GE(id, 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(LoadMaterial(name.c_str()), m);
    EXPECT_EQ(host.pool.Count(), 1);
    EXPECT_EQ(m->constantBufferId, id);
    EXPECT_EQ(reports.Count(), 1) << "the cut name is reported once, when its buffer is made";
    miRender::SetDeviceHost(nullptr);
}

TEST(Variables, FindVarOffset)
{
    AssetTree tree;
    Material m;
    int32_t offset = -1;
    EXPECT_FALSE(FindVarOffset(m, "a", offset));
    EXPECT_EQ(offset, 0);
    m.vars.Append(Var("a", kVarFloat));
    m.vars.Append(Var("dummy_align_3", kVarFloat3));
    m.vars.Append(Var("b", kVarFloat4));
    m.vars.Append(Var("c", kVarFloat3));
    m.vars.Append(Var("dummy_align_4", kVarFloat));
    ReportCapture reports;
    EXPECT_TRUE(FindVarOffset(m, "a", offset));
    EXPECT_EQ(offset, 0);
    EXPECT_TRUE(FindVarOffset(m, "dummy_align_4", offset)); // a float after a float3
    EXPECT_EQ(offset, 11);
    EXPECT_FALSE(FindVarOffset(m, "B", offset));
    EXPECT_EQ(offset, 12);
    EXPECT_EQ(reports.Count(), 0);
    // Other types are found too, but reported as unfit for a float update.
    EXPECT_TRUE(FindVarOffset(m, "b", offset));
    EXPECT_EQ(offset, 4);
    EXPECT_TRUE(FindVarOffset(m, "dummy_align_3", offset));
    EXPECT_EQ(offset, 1);
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_NE(reports.Last().find("Updating var types that don't match"), std::string::npos);
}

TEST(Variables, SetMaterialFloatWritesTheConstantData)
{
    AssetTree tree;
    mirel::test::FakeDevice host;
    miRender::SetDeviceHost(&host);
    Material* m = MaterialManager().Create("live");
    m->vars.Append(Var("a", kVarFloat4));
    m->vars.Append(Var("fade", kVarFloat));
    m->vars.Append(Var("dummy_align_9", kVarFloat3));
    EXPECT_FALSE(SetMaterialFloat(*m, "fade", 0.5f)); // no constant buffer yet
    m->BuildConstants();
    ReportCapture reports;
    EXPECT_TRUE(SetMaterialFloat(*m, "fade", 0.75f));
    EXPECT_EQ(m->constantData[4], F(0.75f));
    EXPECT_FALSE(SetMaterialFloat(*m, "missing", 1.0f));
    EXPECT_EQ(reports.Count(), 0);
    EXPECT_FALSE(SetMaterialFloat(*m, "a", 1.0f));
    EXPECT_EQ(m->constantData[0], 0u);
    EXPECT_EQ(reports.Count(), 1);
    miRender::SetDeviceHost(nullptr);
}

// ---- vertex layouts --------------------------------------------------------------------------

TEST(VertexLayouts, StridesMatchTheElements)
{
    const std::map<int32_t, int32_t> formatBytes = {{2, 16}, {6, 12}, {16, 8}, {41, 4}, {42, 4}};
    const char* names[] = {"pnt", "pnttb", "p", "pc", "pt", "particle", "strand"};
    const int32_t counts[] = {3, 6, 1, 2, 2, 4, 5};
    for (int32_t i = 0; i < kVertexLayoutCount; ++i)
    {
        const VertexLayout* l = GetVertexLayout(i);
        ASSERT_NE(l, nullptr);
        SCOPED_TRACE(l->name);
        EXPECT_EQ(FindVertexLayout(names[i]), i);
        EXPECT_EQ(l->elementCount, counts[i]);
        int32_t end = 0;
        for (int32_t e = 0; e < l->elementCount; ++e)
        {
            const VertexElement& el = l->elements[e];
            if (el.inputSlot != 0) continue;
            EXPECT_EQ(el.offset, end) << el.semantic; // packed, in order
            end = el.offset + formatBytes.at(el.format);
        }
        EXPECT_EQ(static_cast<uint32_t>(end), l->stride);
    }
    EXPECT_EQ(GetVertexLayout(7), nullptr);
    EXPECT_EQ(FindVertexLayout("PNT"), -1);
}

// ---- the shipped materials -------------------------------------------------------------------

class Shipped : public ::testing::Test
{
  protected:
    Shipped()
    {
        tree.CopyShipped();
        miRender::SetDeviceHost(&host);
    }
    ~Shipped() override { miRender::SetDeviceHost(nullptr); }

    AssetTree tree;
    mirel::test::FakeDevice host;
};

TEST_F(Shipped, EveryMaterialLoadsCleanly)
{
    std::vector<std::string> names;
    const std::string root = tree.Path("materials");
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.path().extension() == ".mat")
            names.push_back(e.path().lexically_relative(root).replace_extension("").generic_string());
    ASSERT_GE(names.size(), 18u);
    ReportCapture reports;
    for (const std::string& name : names)
    {
        SCOPED_TRACE(name);
        Material* m = LoadMaterial(name.c_str());
        ASSERT_NE(m, nullptr);
        MaterialCfg* c = MaterialCfgs().FromHandle(m->configId);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->stageMask, 3u);
        EXPECT_GE(c->layout, 0);
        ASSERT_NE(c->source, nullptr);
        const std::string source = c->source;
        EXPECT_NE(source.find("mainVS("), std::string::npos);
        EXPECT_NE(source.find("mainPS("), std::string::npos);
        EXPECT_EQ(source.find("$include"), std::string::npos);
        EXPECT_EQ(source.find("@include"), std::string::npos);
        EXPECT_EQ(CountShaderVarWords(m->vars) % 4, 0);
        EXPECT_EQ(m->vars.count > 0,
                  source.find("cbuffer ConstantBuffer : register( b4 )") != std::string::npos);
        EXPECT_EQ(reports.Count(), 0) << reports.Last();
    }
    EXPECT_TRUE(tree.TempFiles().empty());
}

TEST_F(Shipped, TheProgramFindsItsMaterialsAndVariables)
{
    for (int32_t layout = 0; layout < kVertexLayoutCount; ++layout)
        for (bool alpha : {false, true})
            EXPECT_TRUE(tree.Exists(std::string("materials/") + DepthMaterialName(layout, alpha) + ".mat"));
    const struct
    {
        const char* material;
        const char* variable;
    } written[] = {{"atmosphere", "redbarFade"},
                   {"bar", "bar_position"},
                   {"loadScreen", "fadeIn"},
                   {"loadBar", "load_progress"},
                   {"overlay", "debugType"}};
    for (const auto& w : written)
    {
        SCOPED_TRACE(w.material);
        Material* m = LoadMaterial(w.material);
        ReportCapture reports;
        EXPECT_TRUE(SetMaterialFloat(*m, w.variable, 0.5f));
        EXPECT_EQ(reports.Count(), 0);
    }
    for (const char* name : {"WM_blade", "WM_body", "ground", "skybox", "line", "sprite", "text"})
        EXPECT_TRUE(tree.Exists(std::string("materials/") + name + ".mat")) << name;
}

std::vector<int64_t> States(const MaterialCfg& c)
{
    return {c.stageMask, c.layout,    c.topology,  c.depthEnable, c.depthWriteMask, c.depthFunc,
            c.fillMode,  c.cullMode,  c.depthClip, c.depthBias,   c.blendEnable,    c.blendOp,
            c.srcBlend,  c.destBlend, c.writeMask, c.alphaTest};
}

TEST_F(Shipped, AtmosphereRecords)
{
    ReportCapture reports;
    Material* m = LoadMaterial("atmosphere");
    MaterialCfg* c = MaterialCfgs().FromHandle(m->configId);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::string(c->name), "atmosphere");
    EXPECT_EQ(std::string(c->shaderName), "atmosphere");
    EXPECT_EQ(States(*c), (std::vector<int64_t>{3, 4, 4, 0, 0, 4, 3, 1, 0, 0, 0, 1, 2, 1, 15, 0}));
    const SamplerRecord& s0 = c->samplers[kStagePixel][0];
    EXPECT_EQ(s0.defined, 1);
    EXPECT_EQ(s0.filter, d3d::kFilterMinMagMipPoint);
    EXPECT_EQ(s0.addressU, d3d::kAddressClamp);
    EXPECT_EQ(s0.comparison, d3d::kCompareNever);
    EXPECT_EQ(s0.maxLod, FLT_MAX);
    EXPECT_EQ(c->samplers[kStagePixel][1].defined, 0);
    // redbarFade, pad, vignette, pad, exposure, pad: 12 words.
    ASSERT_EQ(m->vars.count, 6);
    EXPECT_STREQ(m->vars.Data()[0].name, "redbarFade");
    EXPECT_STREQ(m->vars.Data()[2].name, "vignette");
    EXPECT_FLOAT_EQ(m->vars.Data()[2].value[0], 0.25f);
    EXPECT_EQ(m->constantWordCount, 12);
    int32_t offset = 0;
    EXPECT_TRUE(FindVarOffset(*m, "exposure", offset));
    EXPECT_EQ(offset, 8);
    EXPECT_EQ(m->constantData[8], F(1.0f));
    ASSERT_EQ(m->bindings[kStagePixel].count, 2);
    EXPECT_STREQ(m->bindings[kStagePixel].Data()[0].name, "hdrMain");
    EXPECT_STREQ(m->bindings[kStagePixel].Data()[1].name, "redbar");
    EXPECT_EQ(m->srvIds[kStagePixel][1], host.gpu.at("redbar"));
    EXPECT_EQ(host.buffers.back().name, "atmosphere_matConst");
    EXPECT_EQ(reports.Count(), 0);
}

TEST_F(Shipped, BladeAndAlphaDepthRecords)
{
    ReportCapture reports;
    Material* blade = LoadMaterial("WM_blade");
    MaterialCfg* windmill = MaterialCfgs().FromHandle(blade->configId);
    ASSERT_NE(windmill, nullptr);
    EXPECT_EQ(States(*windmill), (std::vector<int64_t>{3, 1, 4, 1, 1, 4, 3, 1, 1, 0, 0, 1, 2, 1, 15, 0}));
    ASSERT_EQ(blade->vars.count, 8);
    const float* albedo = blade->vars.Data()[0].value;
    EXPECT_EQ(std::vector<float>(albedo, albedo + 4), (std::vector<float>{0.62f, 0.5f, 0.36f, 1.0f}));
    const float* declared = windmill->vars.Data()[0].value;
    EXPECT_EQ(std::vector<float>(declared, declared + 4), (std::vector<float>{0.55f, 0.42f, 0.3f, 1.0f}));
    EXPECT_EQ(blade->srvIds[kStagePixel][0], host.gpu.at("cascade0_depth"));

    Material* body = LoadMaterial("WM_body");
    EXPECT_EQ(body->configId, blade->configId);

    Material* depth = LoadMaterial("depth/depthPNUTBAlpha");
    MaterialCfg* d = MaterialCfgs().FromHandle(depth->configId);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(States(*d), (std::vector<int64_t>{3, 1, 4, 1, 1, 4, 3, 1, 1, 0, 0, 1, 2, 1, 15, 1}));
    EXPECT_EQ(d->samplers[kStagePixel][0].filter, d3d::kFilterMinMagMipLinear);
    EXPECT_EQ(d->samplers[kStagePixel][0].addressV, d3d::kAddressWrap);
    ASSERT_EQ(depth->vars.count, 2);
    EXPECT_STREQ(depth->vars.Data()[0].name, "alphaRef");
    EXPECT_EQ(depth->constantData[0], F(0.5f));
    for (const auto& list : depth->bindings)
        EXPECT_EQ(list.count, 0);
    EXPECT_EQ(reports.Count(), 0);
}

} // namespace
