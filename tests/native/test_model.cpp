// Model files: the reader on generated files, on every kind of malformed image, and LoadModel.
#include "render/model.h"
#include "support/fake_device.h"
#include "support/material_fixture.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace miResources;

namespace
{

// Vertex v holds the floats v*100 + 0..13, but for a fourth one that must not reach the bounds.
std::vector<uint8_t> Image(uint32_t vertexCount, const std::vector<std::vector<uint32_t>>& surfaces)
{
    MeshData mesh;
    mesh.vertexCount = vertexCount;
    mesh.stride = 56;
    mesh.vertices = new uint8_t[vertexCount * 56 + 1];
    for (uint32_t i = 0; i < vertexCount * 14; ++i) // float k of vertex v is float 14v + k
    {
        const float f = i % 14 == 3 ? -1e6f : static_cast<float>(i / 14 * 100 + i % 14);
        std::memcpy(mesh.vertices + 4 * i, &f, 4);
    }
    mesh.surfaceCount = static_cast<uint32_t>(surfaces.size());
    mesh.surfaces = new MeshSurfaceData[surfaces.size() + 1]();
    for (size_t s = 0; s < surfaces.size(); ++s)
    {
        std::snprintf(mesh.surfaces[s].materialName, 64, "mat%d", static_cast<int>(s));
        mesh.surfaces[s].indexCount = static_cast<uint32_t>(surfaces[s].size());
        mesh.surfaces[s].indices = new uint32_t[surfaces[s].size() + 1];
        std::copy(surfaces[s].begin(), surfaces[s].end(), mesh.surfaces[s].indices);
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
    ModelFiles() { Models().Clear(); }
    ~ModelFiles() override { Models().Clear(); }
    void Write(const char* name, const std::vector<uint8_t>& bytes)
    {
        tree.Write(std::string("models/") + name + ".model", std::string(bytes.begin(), bytes.end()));
    }
    mirel::test::AssetTree tree;
};

TEST(ModelReader, RejectsMalformedImagesAndTakesASingleChunk)
{
    const auto good = Image(3, {{0, 1, 2}, {2, 1, 0}});
    // Layout: 24 header bytes, 168 vertex bytes, then surfaces at 192 (76 bytes each).
    const size_t n = good.size();
    const uint32_t wrapping = 0x49249250u; // 56 x this wraps to a small 32-bit product
    // What is wrong, the bytes kept of the good image, the words then overwritten.
    const std::tuple<const char*, size_t, std::vector<std::pair<size_t, uint32_t>>> cases[] = {
        {"empty", 0, {}},
        {"header only", 20, {}},
        {"cut in the vertices", 100, {}},
        {"cut in a surface", n - 5, {}},
        {"trailing bytes", n + 1, {}},
        {"zero chunks", n, {{4, 0}}},
        {"more chunks than the file", n, {{4, 4}}},
        {"huge chunk count", n, {{4, 0xFFFFFFFFu}}},
        {"vertex count above the file", n, {{16, 1000}, {12, 8 + 56 * 1000}}},
        {"vertex count against its chunk size", n, {{16, 2}}},
        {"32-bit wrapping vertex count",
         n,
         {{16, wrapping}, {12, static_cast<uint32_t>(8u + 56u * wrapping)}}},
        {"stride other than 56", n, {{20, 12}}},
        {"surface size past the end", n, {{196, 0x7FFFFFF0u}}},
        {"surface size below 64", n, {{196, 60}}},
        {"surface size not whole indices", n, {{196, 66}}},
        {"index past the vertices", n, {{192 + 72, 3}}},
    };
    MeshData mesh;
    ASSERT_TRUE(ParseMeshData(good.data(), good.size(), mesh));
    const auto bare = Image(2, {}); // a single chunk: no surfaces
    ASSERT_TRUE(ParseMeshData(bare.data(), bare.size(), mesh));
    EXPECT_EQ(mesh.surfaceCount, 0u);
    for (const auto& [what, size, puts] : cases)
    {
        SCOPED_TRACE(what);
        // A copy of exactly the file's size, so reading one byte past it is caught by ASan.
        std::vector<uint8_t> exact(size);
        std::copy_n(good.begin(), std::min(n, size), exact.begin());
        for (const auto& [at, value] : puts)
            Put32(exact, at, value);
        EXPECT_FALSE(ParseMeshData(exact.empty() ? nullptr : exact.data(), exact.size(), mesh));
        EXPECT_EQ(std::make_pair(mesh.vertices, mesh.surfaceCount), std::make_pair<uint8_t*>(nullptr, 0u));
    }
}

TEST_F(ModelFiles, LoadBuildsSurfacesBoundsAndLoadsOnce)
{
    Write("thing", Image(5, {{0, 1, 2, 2, 3, 4}, {}, {4, 0, 1}}));
    Model* m = LoadModel("thing");
    ASSERT_NE(m, nullptr);
    float f;
    std::memcpy(&f, m->vertices + 4 * 56 + 8, 4);
    EXPECT_EQ(std::make_tuple(m->vertexCount, m->stride, f), std::make_tuple(5u, 56u, 402.0f));
    ASSERT_EQ(m->surfaceCount, 3);
    const ModelSurface* s = m->surfaces;
    EXPECT_EQ(std::vector<uint32_t>(s[0].indices, s[0].indices + s[0].indexCount),
              (std::vector<uint32_t>{0, 1, 2, 2, 3, 4}));
    EXPECT_EQ(std::make_tuple(s[1].indexCount, s[1].indices, s[2].indexCount, s[0].materialId),
              std::make_tuple(0u, nullptr, 3u, -1));
    EXPECT_EQ(std::vector<float>(m->boundsMin, m->boundsMin + 4), (std::vector<float>{0, 1, 2, 0}));
    EXPECT_EQ(std::vector<float>(m->boundsMax, m->boundsMax + 4), (std::vector<float>{400, 401, 402, 0}));
    // A second load hands back the same model even after the file is gone.
    Write("thing", {});
    EXPECT_EQ(LoadModel("thing"), m);
}

// Every view that draws the entity loads or finds its model each frame: one report, then an
// empty model that draws nothing.
TEST_F(ModelFiles, MissingOrMalformedFileIsReportedOnceAndLeavesAnEmptyModel)
{
    auto bytes = Image(3, {{0, 1, 2}});
    bytes.pop_back();
    Write("broken", bytes);
    for (const char* name : {"absent", "broken"})
    {
        mirel::test::ReportCapture reports;
        Model* m = LoadModel(name);
        ASSERT_NE(m, nullptr) << name;
        EXPECT_NE(reports.Last().find(std::string("Mesh data failed to load: ") + name), std::string::npos);
        EXPECT_EQ(std::make_tuple(m->surfaceCount, m->vertexCount), std::make_tuple(0, 0u));
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
        EXPECT_EQ(std::vector<int32_t>(
                      {m->surfaces[0].materialId, m->surfaces[1].materialId, m->surfaces[2].materialId}),
                  std::vector<int32_t>({7, -1, host.materials.at("mat2")}));
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
    EXPECT_EQ(std::vector<uint32_t>(quad->surfaces[0].indices, quad->surfaces[0].indices + 6),
              (std::vector<uint32_t>{0, 3, 2, 0, 2, 1}));
    EXPECT_EQ(quad->boundsMin[0], -1.0f);
    Model* points = CreateParticleEmitterPoints();
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(points->vertexCount, 4096u);
    EXPECT_EQ(points->surfaces[0].type, static_cast<uint32_t>(kSurfacePoints));
    EXPECT_EQ(points->boundsMax[0], 4095.0f);
}

} // namespace
