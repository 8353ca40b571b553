// The .matcfg and .mat readers, texture resolution, constant packing and variable updates.
#include "support/fake_device.h"
#include "support/material_fixture.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

using namespace miResources;
using mirel::test::AssetTree;
using mirel::test::FakeDevice;
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

int64_t Bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}
uint32_t F(float f)
{
    return static_cast<uint32_t>(Bits(f));
}

class CountingCfg : public MaterialCfg
{
  public:
    void Create() override { ++creates; }
    int creates = 0;
};

// A shader, a configuration over it and the one fake device; the .mat files are loaded as the
// program loads them.
class Materials : public ::testing::Test
{
  protected:
    Materials()
    {
        tree.Write("shaders/s.hlsl",
                   "mirel_shadervars\n{\nfloat fade = 0.5;\nfloat4 tint = 1 2 3 4;\n}\nbody\n");
        tree.Write("materials/c.matcfg", CfgText());
        miRender::SetDeviceHost(&host);
    }
    ~Materials() override { cfg.OnRelease(); }

    bool Parse(const std::string& text)
    {
        tree.Write("materials/c.matcfg", text);
        cfg.OnRelease();
        cfg.OnCreate();
        std::strcpy(cfg.name, "c");
        cfg.creates = 0;
        return ParseMaterialCfg(cfg);
    }
    Material* Load(const std::string& text, const char* name = "m", bool force = false)
    {
        tree.Write(std::string("materials/") + name + ".mat", text);
        return LoadMaterial(name, force);
    }

    AssetTree tree;
    FakeDevice host;
    CountingCfg cfg;
};

// Every field the header lines set, in the order of the lines.
std::vector<int64_t> HeaderFields(const MaterialCfg& c)
{
    std::vector<int64_t> v = {c.stageMask,   c.layout,         c.topology,
                              c.depthEnable, c.depthWriteMask, c.depthFunc};
    v.insert(v.end(), {c.fillMode, c.cullMode, c.depthClip, c.depthBias, Bits(c.depthBiasClamp)});
    v.insert(v.end(), {Bits(c.slopeScaledDepthBias), c.blendEnable, c.blendOp, c.srcBlend, c.destBlend});
    v.insert(v.end(), {c.blendOpAlpha, c.srcBlendAlpha, c.destBlendAlpha, c.writeMask, c.alphaTest});
    return v;
}

TEST_F(Materials, HeaderWordsMapToTheirValues)
{
    const size_t firstField[7] = {0, 0, 1, 2, 3, 6, 12};
    // The header line replaced, its text, the fields it sets from the first of its line, reports.
    const std::tuple<int, const char*, std::vector<int64_t>, int> cases[] = {
        {1, "stages = pixel vertex geometry hull domain", {31}, 0},
        {1, "stages = vertex bogus compute", {2}, 0},
        {1, "stages = a b c d e pixel", {0}, 0}, // only tokens 2 to 6 count
        {2, "layout = pnt", {0}, 0},
        {2, "layout = strand", {6}, 0},
        {2, "layout = PNT", {-1}, 0},
        {3, "prim = linelist", {2}, 0},
        {3, "prim = pointlist", {1}, 0},
        {3, "prim = strips", {4}, 0},
        {4, "depth = true zero equal", {1, 0, 3}, 0},
        {4, "depth = TRUE all never", {0, 1, 1}, 0},
        {4, "depth = false x greater", {0, 1, 4}, 0},
        {5, "raster = solid none true", {3, 1, 1, 0, 0, 0}, 0},
        {5, "raster = wire front false", {2, 2, 0, 0, 0, 0}, 0},
        {5, "raster = solid back true -3.7 0.25 1.5", {3, 3, 1, -3, Bits(0.25f), Bits(1.5f)}, 0},
        {5, "raster = solid back true 1e30 0 0", {3, 3, 1, INT32_MAX, 0, 0}, 0},
        {5, "raster = solid back true nan 0 0", {3, 3, 1, 0, 0, 0}, 0},
        {5, "raster = solid sideways true", {3, 0, 1, 0, 0, 0}, 1},
        {6,
         "blend = true subtract src_alpha src_inv_alpha rev_subtract dest_alpha zero 7 alphatest",
         {1, 2, 5, 6, 3, 7, 1, 7, 1},
         0},
        {6, "blend = true min one one add one one 15 other", {1, 4, 2, 2, 1, 2, 2, 15, 0}, 0},
        {6, "blend = true mul one half add one one 15", {1, 0, 2, 0, 1, 2, 2, 15, 0}, 2},
    };
    for (const auto& [line, text, fields, reported] : cases)
    {
        SCOPED_TRACE(text);
        ReportCapture reports;
        EXPECT_TRUE(Parse(CfgText({{line, text}})));
        const std::vector<int64_t> all = HeaderFields(cfg);
        const auto first = all.begin() + static_cast<std::ptrdiff_t>(firstField[line]);
        EXPECT_EQ(std::vector<int64_t>(first, first + static_cast<std::ptrdiff_t>(fields.size())), fields);
        EXPECT_EQ(reports.Count(), reported);
        EXPECT_EQ(cfg.creates, 1);
    }
}

TEST_F(Materials, LinesOutOfOrderOrWithWrongTokenCountsAreRefused)
{
    const std::string sampler = "sampler = 0 2d min_mag_mip_point wrap wrap wrap never 0 1\n";
    const std::string broken[] = {
        CfgText({{0, "shader = s extra"}}),
        CfgText({{0, "shader s"}}),
        CfgText({{0, "shader = " + std::string(64, 'n')}}),
        CfgText({{0, "Shader = s"}}),
        CfgText({{1, "stages ="}}),
        CfgText({{2, "layout = pnttb x"}}),
        CfgText({{3, "prim ="}}),
        CfgText({{4, "depth = true all"}}),
        CfgText({{4, "depth = true all less_equal x"}}),
        CfgText({{5, "raster = solid back true 1"}}),
        CfgText({{5, "raster = solid back true 1 2 3 4"}}),
        CfgText({{6, "blend = false add one zero add one zero"}}),
        CfgText({{6, "blend = false add one zero add one zero 15 alphatest x"}}),
        CfgText({{2, kHeader[3]}, {3, kHeader[2]}}), // two lines swapped
        CfgText({{5, ""}, {6, ""}}),                 // the file ends early
        CfgText({}, "ps\n" + sampler + "}\n"),       // a sampler block without its brace
        CfgText({}, "ps\n{\n" + sampler),            // or without its end
        CfgText({}, "gs\n"),
    };
    for (const std::string& text : broken)
    {
        SCOPED_TRACE(text);
        ReportCapture reports;
        EXPECT_FALSE(Parse(text));
        EXPECT_EQ(cfg.creates, 0);
        EXPECT_EQ(reports.Count(), 1);
        EXPECT_NE(reports.Last().find("Parse error"), std::string::npos);
        EXPECT_TRUE(tree.TempFiles().empty());
    }
}

TEST_F(Materials, SamplerBlocks)
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
    EXPECT_EQ(record(ps[5]), (std::vector<int64_t>{1, 0x94, 4, 3, 1, 4, Bits(0.5f), Bits(8.0f)}));
    EXPECT_EQ(record(ps[6]), (std::vector<int64_t>{1, 0, 1, 1, 1, 3, 0, Bits(1.0f)}));
    EXPECT_EQ(record(vs[15]), (std::vector<int64_t>{1, 0x15, 3, 3, 3, 1, 0, Bits(2.0f)}));
    EXPECT_EQ(record(vs[2]), (std::vector<int64_t>{1, 0, 1, 0, 1, 1, 0, Bits(1.0f)}));
    // srv and uav slots, another keyword, the short line, and a block after the end of the list.
    const int32_t undefined[] = {ps[3].defined, ps[4].defined, ps[7].defined, vs[1].defined,
                                 cfg.samplers[kStageDomain][9].defined};
    for (int32_t d : undefined)
        EXPECT_EQ(d, 0);
}

TEST_F(Materials, VariablesAndSourceComeFromTheShader)
{
    tree.Write("materials/inc.txt", "snippet layoutLine\n{\nlayout = pc\n}\n");
    ReportCapture reports;
    ASSERT_TRUE(Parse("@include inc.txt\n" + CfgText({{2, "$include layoutLine"}})));
    EXPECT_EQ(reports.Count(), 0);
    EXPECT_EQ(cfg.layout, 3);
    EXPECT_STREQ(cfg.shaderName, "s");
    ASSERT_EQ(cfg.vars.count, 3);
    const std::string pad = cfg.vars.Data()[1].name;
    EXPECT_EQ(pad.rfind("dummy_align_", 0), 0u);
    ASSERT_NE(cfg.source, nullptr);
    EXPECT_EQ(std::string(cfg.source),
              "\ncbuffer ConstantBuffer : register( b4 )\n { \nfloat  fade;\nfloat3  " + pad +
                  ";\nfloat4 tint;\n\n}\nbody\n");
    EXPECT_TRUE(tree.TempFiles().empty());
}

// ---- .mat files ------------------------------------------------------------------------------

TEST_F(Materials, OverridesReplaceDeclaredVariablesOfTheSameType)
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
    EXPECT_STREQ(m->configName, "c");
    EXPECT_TRUE(tree.TempFiles().empty());
}

TEST_F(Materials, MalformedOrMissingFiles)
{
    tree.Write("materials/noshader.matcfg", CfgText({{0, "shader = nothere"}}));
    // The file, whether its configuration loads, the report.
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"ps_textures\n{\n}\nconfig = c\n", false, "Parse error"},
        {"config =\n", false, "Parse error"},
        {"config = " + std::string(64, 'c') + "\n", false, "Parse error"},
        {"config = c\nps_textures\ntexture = 0 a 2d\n}\n", true, "Parse error"},
        {"config = c\nmirel_shadervars\n{\nfloat fade = 1;\n", true, "Parse error"},
        {"config = nocfg\n", false, "Material Cfg file not found: " + tree.Path("materials/nocfg.matcfg")},
        {"config = noshader\n", false, "Shader file not found: " + tree.Path("shaders/nothere.hlsl")},
    };
    for (const auto& [text, configLoaded, message] : cases)
    {
        SCOPED_TRACE(text);
        ReportCapture reports;
        Material* m = Load(text);
        EXPECT_GE(reports.Count(), 1);
        EXPECT_NE(reports.Last().find(message), std::string::npos);
        EXPECT_EQ(m->configId >= 0 && MaterialCfgs().FromHandle(m->configId)->source != nullptr,
                  configLoaded);
        EXPECT_TRUE(tree.TempFiles().empty());
    }
    ReportCapture reports;
    Material* m = LoadMaterial("absent");
    EXPECT_NE(reports.Last().find("Material file not found: " + tree.Path("materials/absent.mat")),
              std::string::npos);
    EXPECT_EQ(m->configId, -1);
}

TEST_F(Materials, ConfigurationsAreReadOnceUnlessForced)
{
    Material* a = Load("config = c\n", "a");
    const int32_t id = a->configId;
    ASSERT_GE(id, 0);
    EXPECT_EQ(MaterialCfgs().FromHandle(id)->topology, d3d::kTopologyTriangleList);
    tree.Write("materials/c.matcfg", CfgText({{3, "prim = linelist"}}));
    EXPECT_EQ(Load("config = c\n", "b")->configId, id);
    EXPECT_EQ(MaterialCfgs().FromHandle(id)->topology, d3d::kTopologyTriangleList);
    EXPECT_EQ(Load("config = c\n", "a", true)->configId, id);
    EXPECT_EQ(MaterialCfgs().FromHandle(id)->topology, d3d::kTopologyLineList);
    EXPECT_EQ(MaterialCfgs().Count(), 1);
}

// ---- texture bindings and their resolution -----------------------------------------------------

TEST_F(Materials, BindingLinesAndTheTablesTheyEndIn)
{
    host.gpu["cascade1"] = 1;    // a render target that exists already
    host.textures["orphan"] = 2; // loaded before, without a GPU resource
    ReportCapture reports;
    Material* m =
        Load("config = c\nps_textures\n{\ntexture = 0 stale.png 2d\n}\nps_textures\n{\n"
             "texture = 0 hdrMain srv\ntexture = 1 cascade0 depth_srv\ntexture = 2 cascade1 depth_srv\n"
             "texture = 3 rock.png 2d\ntexture = 4 leaf.png alphatest\ntexture = 5 orphan 2d\n"
             "texarray = 6 7 2darray arr\ntexarray = 8 8 3d vol\ntexarray = 9 9 srv buf\n"
             "texture = 10 odd.png shiny\ntexture = 16 over.png 2d\ntexture = 1 short\n"
             "texarray = 2 1 2darray\ntexture = 8 " +
             std::string(64, 'n') + " 2d\ntexture = 11 " + std::string(63, 'n') +
             " depth_srv\nother = 12 x 2d\n}\nvs_textures\n{\ntexture = 6 sky.dds cube\n"
             "texture = 2 filledLater tex_srv\n}\nds_textures\n{\ntexture = 7 buf uav\n}\n"
             "end\nhs_textures\n{\ntexture = 0 late 2d\n}\n");
    // shiny, slot 16, the two short lines, the 64-character name; the array, volume and empty
    // textures, which this host makes without a GPU resource.
    EXPECT_EQ(reports.Count(), 8);
    EXPECT_NE(reports.Last().find("A resource should have been created: filledLater"), std::string::npos);
    std::vector<std::string> ps;
    for (int32_t i = 0; i < m->bindings[kStagePixel].count; ++i)
    {
        const TextureBinding& b = m->bindings[kStagePixel].Data()[i];
        ps.push_back(std::string(b.name).substr(0, 8) + " " + std::to_string(b.kind) + " " +
                     std::to_string(b.slot) + " " + std::to_string(b.arrayA) + " " +
                     std::to_string(b.arrayB));
    }
    EXPECT_EQ(ps, (std::vector<std::string>{"hdrMain 6 0 0 0", "cascade0 8 1 0 0", "cascade1 8 2 0 0",
                                            "rock.png 0 3 0 0", "leaf.png 2 4 0 0", "orphan 0 5 0 0",
                                            "arr 3 6 7 2", "vol 4 8 8 3", "buf 6 9 9 0", "odd.png 0 10 0 0",
                                            "nnnnnnnn 8 11 0 0"}));
    EXPECT_EQ(m->bindings[kStageHull].count, 0);
    // Depth bindings take the depth of the target, not its colour.
    const int32_t* srv = m->srvIds[kStagePixel];
    auto gpu = [&](const std::string& name) { return host.gpu.at(name); };
    EXPECT_EQ(
        std::vector<int32_t>({srv[0], srv[1], srv[2], srv[3], srv[4], srv[5], srv[11]}),
        std::vector<int32_t>({gpu("hdrMain"), gpu("cascade0_depth"), gpu("cascade1_depth"), gpu("rock.png"),
                              gpu("leaf.png"), -1, gpu(std::string(63, 'n') + "_depth")}));
    EXPECT_EQ(host.gpu.count("cascade0"), 0u);
    EXPECT_EQ(m->bindings[kStagePixel].Data()[3].resourceId, host.textures.at("rock.png"));
    EXPECT_EQ(m->alphaTestTextureId, gpu("leaf.png"));
    EXPECT_EQ(std::vector<int32_t>({m->srvIds[kStageVertex][6], m->srvIds[kStageVertex][2],
                                    m->uavIds[kStageDomain][7], m->srvIds[kStageDomain][7]}),
              std::vector<int32_t>({gpu("sky.dds"), -1, gpu("buf"), -1}));
    const std::vector<std::string> created = {"rock.png:0", "leaf.png:2", "arr:3",        "vol:4",
                                              "odd.png:0",  "sky.dds:5",  "filledLater:1"};
    EXPECT_EQ(host.created, created);
    // A second material sharing the alpha texture finds it and still knows its alpha test.
    Material* other = Load("config = c\nps_textures\n{\ntexture = 0 leaf.png alphatest\n}\n", "other");
    EXPECT_EQ(other->alphaTestTextureId, host.gpu.at("leaf.png"));
    EXPECT_EQ(host.created, created);
}

// ---- constants and variables -----------------------------------------------------------------

TEST_F(Materials, ConstantsArePackedInListOrderAndUpdated)
{
    tree.Write("shaders/p.hlsl",
               "mirel_shadervars\n{\nfloat f = 1.5;\nint3 i3 = -3.7 2.9 1e10;\nint i = -1e10;\n"
               "int4 i4 = nan 7 -0.5 2147483520;\nmatrix m;\n}\n");
    tree.Write("materials/pc.matcfg", CfgText({{0, "shader = p"}}));
    ReportCapture reports;
    Material* m = Load("config = pc\n", "packed");
    EXPECT_EQ(reports.Count(), 0);
    std::vector<uint32_t> expected = {F(1.5f), 0, 0, 0, static_cast<uint32_t>(-3), 2, INT32_MAX, 0};
    expected.insert(expected.end(), {static_cast<uint32_t>(INT32_MIN), 0, 0, 0, 0, 7, 0, 2147483520u});
    for (int k = 0; k < 16; ++k)
        expected.push_back(k % 5 == 0 ? F(1.0f) : 0);
    ASSERT_EQ(m->constantWordCount, static_cast<int32_t>(expected.size()));
    EXPECT_EQ(std::vector<uint32_t>(m->constantData, m->constantData + m->constantWordCount), expected);
    const FakeDevice::Buffer& buffer = host.buffers.at(static_cast<size_t>(m->constantBufferId));
    EXPECT_EQ(buffer.name + " " + std::to_string(buffer.registerSlot) + " " + std::to_string(buffer.bytes),
              "packed_matConst 4 " + std::to_string(4 * expected.size()));
    EXPECT_EQ(buffer.data, m->constantData);
    // Rebuilding points the buffer at new data.
    const uint32_t* before = m->constantData;
    m->BuildConstants();
    EXPECT_NE(m->constantData, before);
    EXPECT_EQ(buffer.data, m->constantData);
    // Float updates reach the float's word only; other types are found but reported.
    const std::tuple<const char*, bool, int32_t> offsets[] = {
        {"f", true, 0}, {"i", true, 8}, {"i4", true, 12}, {"F", false, 32}};
    for (const auto& [name, found, at] : offsets)
    {
        int32_t offset = -1;
        EXPECT_EQ(FindVarOffset(*m, name, offset), found) << name;
        EXPECT_EQ(offset, at) << name;
    }
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_NE(reports.Last().find("Updating var types that don't match"), std::string::npos);
    EXPECT_TRUE(SetMaterialFloat(*m, "f", 0.75f));
    EXPECT_EQ(m->constantData[0], F(0.75f));
    EXPECT_FALSE(SetMaterialFloat(*m, "missing", 1.0f));
    EXPECT_FALSE(SetMaterialFloat(*m, "i", 1.0f));
    EXPECT_EQ(m->constantData[8], static_cast<uint32_t>(INT32_MIN));
    m->constantBufferId = -1;
    EXPECT_FALSE(SetMaterialFloat(*m, "f", 0.5f)); // no constant buffer
    // Without variables there is no buffer.
    tree.Write("shaders/n.hlsl", "body\n");
    tree.Write("materials/nc.matcfg", CfgText({{0, "shader = n"}}));
    Material* none = Load("config = nc\n", "none");
    EXPECT_TRUE(none->constantBufferId == -1 && none->constantData == nullptr);
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

// Every shipped material loads cleanly, and the names the program asks for are there.
TEST_F(Materials, ShippedMaterials)
{
    tree.CopyShipped();
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
        MaterialCfg* c = MaterialCfgs().FromHandle(m->configId);
        ASSERT_TRUE(c && c->source);
        EXPECT_TRUE(c->stageMask == 3u && c->layout >= 0) << c->stageMask << " " << c->layout;
        const std::string source = c->source;
        EXPECT_NE(source.find("mainVS("), std::string::npos);
        EXPECT_NE(source.find("mainPS("), std::string::npos);
        EXPECT_EQ(source.find("include"), std::string::npos);
        EXPECT_EQ(m->vars.count > 0,
                  source.find("cbuffer ConstantBuffer : register( b4 )") != std::string::npos);
        EXPECT_EQ(reports.Count(), 0) << reports.Last();
    }
    EXPECT_TRUE(tree.TempFiles().empty());
    std::vector<std::string> used = {"WM_blade", "WM_body", "ground", "skybox", "line", "sprite", "text"};
    for (int32_t layout = 0; layout < kVertexLayoutCount; ++layout)
        for (bool alpha : {false, true})
            used.push_back(DepthMaterialName(layout, alpha));
    for (const std::string& name : used)
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    const std::pair<const char*, const char*> written[] = {{"atmosphere", "redbarFade"},
                                                           {"bar", "bar_position"},
                                                           {"loadScreen", "fadeIn"},
                                                           {"loadBar", "load_progress"},
                                                           {"overlay", "debugType"}};
    for (const auto& [material, variable] : written)
        EXPECT_TRUE(SetMaterialFloat(*MaterialManager().Find(material), variable, 0.5f)) << material;
    EXPECT_EQ(reports.Count(), 0);
}

} // namespace
