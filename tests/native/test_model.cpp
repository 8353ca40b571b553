// Model files: the reader on generated files, on every kind of malformed image, and LoadModel.
#include "render/model.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace miResources;

namespace
{

std::vector<uint8_t> Image(uint32_t vertexCount, const std::vector<std::vector<uint32_t>>& surfaces)
{
    MeshData mesh;
    mesh.vertexCount = vertexCount;
    mesh.stride = 56;
    mesh.vertices = new uint8_t[vertexCount * 56 + 1];
    for (uint32_t v = 0; v < vertexCount; ++v)
    {
        float f[14];
        for (int k = 0; k < 14; ++k)
            f[k] = static_cast<float>(v * 100 + k);
        // Values beyond the position must not reach the bounds.
        f[3] = -1e6f;
        std::memcpy(mesh.vertices + v * 56, f, 56);
    }
    mesh.surfaceCount = static_cast<uint32_t>(surfaces.size());
    mesh.surfaces = new MeshSurfaceData[surfaces.size() + 1]();
    for (size_t s = 0; s < surfaces.size(); ++s)
    {
        std::snprintf(mesh.surfaces[s].materialName, 64, "mat%d", static_cast<int>(s));
        mesh.surfaces[s].indexCount = static_cast<uint32_t>(surfaces[s].size());
        mesh.surfaces[s].indices = new uint32_t[surfaces[s].size() + 1];
        if (!surfaces[s].empty())
            std::memcpy(mesh.surfaces[s].indices, surfaces[s].data(), surfaces[s].size() * 4);
    }
    std::vector<uint8_t> out(WriteMeshImage(mesh, 7, nullptr));
    WriteMeshImage(mesh, 7, out.data());
    return out;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}

class ModelFiles : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/mirel-models-XXXXXX";
        root_ = mkdtemp(tmpl);
        mkdir((root_ + "/models").c_str(), 0755);
        mirel::SetAssetRoot(root_.c_str());
        Models().Clear();
    }
    void TearDown() override
    {
        Models().Clear();
        std::system(("rm -rf " + root_).c_str());
    }
    void Write(const char* name, const std::vector<uint8_t>& bytes)
    {
        std::FILE* f = std::fopen((root_ + "/models/" + name + ".model").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::string root_;
};

} // namespace

TEST(ModelReader, RoundTripKeepsVerticesSurfacesAndMaterialNames)
{
    const auto bytes = Image(5, {{0, 1, 2, 2, 3, 4}, {}, {4, 0, 1}});
    MeshData mesh;
    ASSERT_TRUE(ParseMeshData(bytes.data(), bytes.size(), mesh));
    EXPECT_EQ(mesh.vertexCount, 5u);
    ASSERT_EQ(mesh.surfaceCount, 3u);
    EXPECT_EQ(mesh.surfaces[0].indexCount, 6u);
    EXPECT_EQ(mesh.surfaces[0].indices[5], 4u);
    EXPECT_EQ(mesh.surfaces[1].indexCount, 0u);
    EXPECT_STREQ(mesh.surfaces[2].materialName, "mat2");
    float f;
    std::memcpy(&f, mesh.vertices + 4 * 56 + 8, 4);
    EXPECT_EQ(f, 402.0f);
}

TEST(ModelReader, RejectsMalformedImages)
{
    const auto good = Image(3, {{0, 1, 2}, {2, 1, 0}});
    // Layout: 24 header bytes, 168 vertex bytes, then surfaces at 192 (76 bytes each).
    struct Case
    {
        const char* what;
        void (*mutate)(std::vector<uint8_t>&);
    };
    const Case cases[] = {
        {"empty", [](std::vector<uint8_t>& b) { b.clear(); }},
        {"header only", [](std::vector<uint8_t>& b) { b.resize(20); }},
        {"cut in the vertices", [](std::vector<uint8_t>& b) { b.resize(100); }},
        {"cut in a surface", [](std::vector<uint8_t>& b) { b.resize(b.size() - 5); }},
        {"trailing bytes", [](std::vector<uint8_t>& b) { b.push_back(0); }},
        {"zero chunks", [](std::vector<uint8_t>& b) { Put32(b, 4, 0); }},
        {"more chunks than the file", [](std::vector<uint8_t>& b) { Put32(b, 4, 4); }},
        {"huge chunk count", [](std::vector<uint8_t>& b) { Put32(b, 4, 0xFFFFFFFFu); }},
        {"vertex count above the file",
         [](std::vector<uint8_t>& b)
         {
             Put32(b, 16, 1000);
             Put32(b, 12, 8 + 56 * 1000);
         }},
        {"vertex count against its chunk size", [](std::vector<uint8_t>& b) { Put32(b, 16, 2); }},
        {"32-bit wrapping vertex count",
         [](std::vector<uint8_t>& b)
         {
             Put32(b, 16, 0x49249250u); // 56 x this wraps to a small 32-bit product
             Put32(b, 12, static_cast<uint32_t>(8u + 56u * 0x49249250u));
         }},
        {"stride other than 56", [](std::vector<uint8_t>& b) { Put32(b, 20, 12); }},
        {"surface size past the end", [](std::vector<uint8_t>& b) { Put32(b, 196, 0x7FFFFFF0u); }},
        {"surface size below 64", [](std::vector<uint8_t>& b) { Put32(b, 196, 60); }},
        {"surface size not whole indices", [](std::vector<uint8_t>& b) { Put32(b, 196, 66); }},
        {"index past the vertices", [](std::vector<uint8_t>& b) { Put32(b, 192 + 72, 3); }},
    };
    MeshData mesh;
    ASSERT_TRUE(ParseMeshData(good.data(), good.size(), mesh));
    for (const Case& c : cases)
    {
        std::vector<uint8_t> b = good;
        c.mutate(b);
        // A copy of exactly the file's size, so reading one byte past it is caught by ASan.
        std::vector<uint8_t> exact(b);
        exact.shrink_to_fit();
        EXPECT_FALSE(ParseMeshData(exact.empty() ? nullptr : exact.data(), exact.size(), mesh)) << c.what;
        EXPECT_EQ(mesh.vertices, nullptr) << c.what;
        EXPECT_EQ(mesh.surfaceCount, 0u) << c.what;
    }
}

TEST_F(ModelFiles, LoadBuildsSurfacesBoundsAndLoadsOnce)
{
    Write("thing", Image(4, {{0, 1, 2}, {}}));
    Model* m = LoadModel("thing");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertexCount, 4u);
    EXPECT_EQ(m->stride, 56u);
    ASSERT_EQ(m->surfaceCount, 2);
    EXPECT_EQ(m->surfaces[0].indexCount, 3u);
    EXPECT_EQ(m->surfaces[1].indexCount, 0u);
    EXPECT_EQ(m->surfaces[1].indices, nullptr);
    EXPECT_EQ(m->surfaces[0].materialId, -1);
    // Positions (v*100 + 0..2): the fourth float (-1e6) must not widen the box.
    EXPECT_EQ(m->boundsMin[0], 0.0f);
    EXPECT_EQ(m->boundsMin[1], 1.0f);
    EXPECT_EQ(m->boundsMax[2], 302.0f);
    EXPECT_EQ(m->boundsMax[3], 0.0f);
    // A second load hands back the same model even after the file is gone.
    Write("thing", {});
    EXPECT_EQ(LoadModel("thing"), m);
}

TEST_F(ModelFiles, SingleChunkFileHasNoSurfaces)
{
    Write("bare", Image(2, {}));
    Model* m = LoadModel("bare");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->surfaceCount, 0);
}

// Every view that draws the entity loads or finds its model each frame: one report, then an
// empty model that draws nothing.
TEST_F(ModelFiles, MissingOrMalformedFileIsReportedOnceAndLeavesAnEmptyModel)
{
    auto bytes = Image(3, {{0, 1, 2}});
    bytes.resize(bytes.size() - 1);
    Write("broken", bytes);
    for (const char* name : {"absent", "broken"})
    {
        mirel::test::ReportCapture reports;
        Model* m = LoadModel(name);
        ASSERT_NE(m, nullptr) << name;
        EXPECT_EQ(reports.Count(), 1);
        EXPECT_NE(reports.Last().find(std::string("Mesh data failed to load: ") + name), std::string::npos);
        EXPECT_EQ(m->surfaceCount, 0);
        EXPECT_EQ(m->vertexCount, 0u);
        EXPECT_EQ(LoadModel(name), m);
        EXPECT_EQ(reports.Count(), 1) << "a second load must not report again";
    }
}

// Found, loaded or missing through the device host; the null host resolves none and says nothing.
TEST_F(ModelFiles, SurfaceMaterialsAreFoundOrLoaded)
{
    Write("mats", Image(3, {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}));
    {
        mirel::test::FakeDevice host;
        host.materials["mat0"] = 7;
        host.unloadable = {"mat1"};
        host.Install();
        mirel::test::ReportCapture reports;
        Model* m = LoadModel("mats");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(host.loaded, (std::vector<std::string>{"mat1", "mat2"}));
        EXPECT_EQ(m->surfaces[0].materialId, 7);
        EXPECT_EQ(m->surfaces[1].materialId, -1);
        EXPECT_EQ(m->surfaces[2].materialId, host.materials.at("mat2"));
        EXPECT_EQ(reports.Count(), 1);
        EXPECT_NE(reports.Last().find("Error loading material: mat1"), std::string::npos);
    }
    Models().Clear();
    mirel::test::ReportCapture reports;
    Model* m = LoadModel("mats");
    ASSERT_NE(m, nullptr);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m->surfaces[i].materialId, -1) << i;
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
}

TEST_F(ModelFiles, BuiltInModels)
{
    Model* quad = CreateFullscreenQuad();
    ASSERT_NE(quad, nullptr);
    EXPECT_EQ(CreateFullscreenQuad(), quad);
    EXPECT_EQ(quad->stride, 20u);
    ASSERT_EQ(quad->surfaceCount, 1);
    const uint32_t expected[6] = {0, 3, 2, 0, 2, 1};
    EXPECT_EQ(std::memcmp(quad->surfaces[0].indices, expected, sizeof expected), 0);
    EXPECT_EQ(quad->boundsMin[0], -1.0f);
    Model* points = CreateParticleEmitterPoints();
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(points->vertexCount, 4096u);
    EXPECT_EQ(points->surfaces[0].type, static_cast<uint32_t>(kSurfacePoints));
    EXPECT_EQ(points->boundsMax[0], 4095.0f);
}

TEST_F(ModelFiles, GeneratedSceneModelsRead)
{
    mirel::SetAssetRoot(MIREL_SOURCE_ASSETS);
    // Each surface names a material the asset tree has.
    const std::pair<const char*, const char*> models[] = {{"unitcube", "unitcube"},
                                                          {"ground", "ground"},
                                                          {"windmill_base", "WM_body"},
                                                          {"windmill_blades", "WM_blade"}};
    for (const auto& [name, material] : models)
    {
        MeshData mesh;
        ASSERT_TRUE(ReadMeshData(name, mesh)) << name;
        ASSERT_EQ(mesh.surfaceCount, 1u) << name;
        EXPECT_STREQ(mesh.surfaces[0].materialName, material);
        const std::string file = std::string(MIREL_SOURCE_ASSETS) + "/materials/" + material + ".mat";
        std::FILE* f = std::fopen(file.c_str(), "rb");
        EXPECT_NE(f, nullptr) << file;
        if (f) std::fclose(f);
        EXPECT_EQ(mesh.surfaces[0].indexCount % 3, 0u);
        EXPECT_GT(mesh.vertexCount, 0u);
    }
    MeshData cube;
    ASSERT_TRUE(ReadMeshData("unitcube", cube));
    EXPECT_EQ(cube.vertexCount, 24u);
    EXPECT_EQ(cube.surfaces[0].indexCount, 36u);
}
