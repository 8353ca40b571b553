// Writes the demo's procedural scene models as .model files: a unit cube, a ground plane, a
// windmill tower and its four blades. Output is deterministic so regeneration can be checked.
#include "render/model.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{

struct Vertex
{
    float p[3], n[3], uv[2], t[3], b[3];
};
static_assert(sizeof(Vertex) == 56, "layout pnttb");

struct Builder
{
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;

    // A quad from corner o spanned by edges u and v; the normal is u x v.
    void Quad(const float o[3], const float u[3], const float v[3], float uvScale)
    {
        float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (float& c : n)
            c = len > 0 ? c / len : 0;
        const float ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        const float vl = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        const uint32_t base = static_cast<uint32_t>(vertices.size());
        const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& c : corners)
        {
            Vertex vx{};
            for (int k = 0; k < 3; ++k)
            {
                vx.p[k] = o[k] + c[0] * u[k] + c[1] * v[k];
                vx.n[k] = n[k];
                vx.t[k] = ul > 0 ? u[k] / ul : 0;
                vx.b[k] = vl > 0 ? v[k] / vl : 0;
            }
            vx.uv[0] = c[0] * uvScale;
            vx.uv[1] = (1 - c[1]) * uvScale;
            vertices.push_back(vx);
        }
        const uint32_t tri[6] = {0, 1, 2, 0, 2, 3};
        for (uint32_t i : tri)
            indices.push_back(base + i);
    }

    // Axis-aligned box from lo to hi; every face's u x v points outward.
    void Box(const float lo[3], const float hi[3])
    {
        const float X[3] = {hi[0] - lo[0], 0, 0}, Y[3] = {0, hi[1] - lo[1], 0}, Z[3] = {0, 0, hi[2] - lo[2]};
        const float zHi[3] = {lo[0], lo[1], hi[2]}, xHi[3] = {hi[0], lo[1], lo[2]},
                    yHi[3] = {lo[0], hi[1], lo[2]};
        Quad(lo, Y, X, 1);
        Quad(zHi, X, Y, 1);
        Quad(lo, Z, Y, 1);
        Quad(xHi, Y, Z, 1);
        Quad(yHi, Z, X, 1);
        Quad(lo, X, Z, 1);
    }
};

bool Write(const std::string& dir, const char* name, const char* material, Builder& b)
{
    miResources::MeshData mesh;
    mesh.vertexCount = static_cast<uint32_t>(b.vertices.size());
    mesh.stride = 56;
    mesh.vertices = new uint8_t[b.vertices.size() * 56];
    std::memcpy(mesh.vertices, b.vertices.data(), b.vertices.size() * 56);
    mesh.surfaceCount = 1;
    mesh.surfaces = new miResources::MeshSurfaceData[1]();
    std::snprintf(mesh.surfaces[0].materialName, 64, "%s", material);
    mesh.surfaces[0].indexCount = static_cast<uint32_t>(b.indices.size());
    mesh.surfaces[0].indices = new uint32_t[b.indices.size()];
    std::memcpy(mesh.surfaces[0].indices, b.indices.data(), b.indices.size() * 4);

    std::vector<uint8_t> image(miResources::WriteMeshImage(mesh, 1, nullptr));
    miResources::WriteMeshImage(mesh, 1, image.data());
    const std::string path = dir + "/" + name + ".model";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: modelgen OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    {
        Builder b;
        const float lo[3] = {-0.5f, -0.5f, -0.5f}, hi[3] = {0.5f, 0.5f, 0.5f};
        b.Box(lo, hi);
        ok &= Write(dir, "unitcube", "unitcube", b);
    }
    {
        // A grid rather than one quad so per-vertex lighting and fog have vertices to work with.
        Builder b;
        constexpr int kCells = 16;
        constexpr float kSize = 400.0f, kCell = kSize / kCells;
        for (int z = 0; z < kCells; ++z)
            for (int x = 0; x < kCells; ++x)
            {
                const float o[3] = {-kSize / 2 + x * kCell, 0, -kSize / 2 + (z + 1) * kCell};
                const float u[3] = {kCell, 0, 0}, v[3] = {0, 0, -kCell};
                b.Quad(o, u, v, 8);
            }
        ok &= Write(dir, "ground", "ground", b);
    }
    {
        Builder b;
        // A tapering tower and the cap carrying the hub; the blades' entity sits 3.8 in front of
        // the axis and 50.84 up, so the cap reaches that height and stays clear of the blades.
        const float parts[][2][3] = {{{-4.0f, 0.0f, -4.0f}, {4.0f, 18.0f, 4.0f}},
                                     {{-3.2f, 18.0f, -3.2f}, {3.2f, 34.0f, 3.2f}},
                                     {{-2.5f, 34.0f, -2.5f}, {2.5f, 47.0f, 2.5f}},
                                     {{-3.5f, 47.0f, -2.8f}, {3.3f, 54.0f, 2.8f}},
                                     {{-3.0f, 54.0f, -2.3f}, {3.0f, 56.0f, 2.3f}}};
        for (const auto& part : parts)
            b.Box(part[0], part[1]);
        ok &= Write(dir, "windmill_base", "WM_body", b);
    }
    {
        // Four sails around the hub at the origin, in the y-z plane: the demo turns them about x.
        Builder b;
        const float hub[2][3] = {{-0.4f, -0.7f, -0.7f}, {0.6f, 0.7f, 0.7f}};
        b.Box(hub[0], hub[1]);
        // Each arm is a spar with a sail on its trailing side, each arm a quarter turn from the last.
        const float arms[][2][3] = {{{-0.15f, 0.6f, -0.25f}, {0.15f, 11.0f, 0.25f}},
                                    {{-0.05f, 3.0f, 0.25f}, {0.05f, 11.0f, 2.4f}},
                                    {{-0.15f, -0.25f, 0.6f}, {0.15f, 0.25f, 11.0f}},
                                    {{-0.05f, -2.4f, 3.0f}, {0.05f, -0.25f, 11.0f}},
                                    {{-0.15f, -11.0f, -0.25f}, {0.15f, -0.6f, 0.25f}},
                                    {{-0.05f, -11.0f, -2.4f}, {0.05f, -3.0f, -0.25f}},
                                    {{-0.15f, -0.25f, -11.0f}, {0.15f, 0.25f, -0.6f}},
                                    {{-0.05f, 0.25f, -11.0f}, {0.05f, 2.4f, -3.0f}}};
        for (const auto& box : arms)
            b.Box(box[0], box[1]);
        ok &= Write(dir, "windmill_blades", "WM_blade", b);
    }
    if (!ok) std::fprintf(stderr, "modelgen: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
