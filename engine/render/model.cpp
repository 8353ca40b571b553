#include "render/model.h"

#include "core/utils.h"
#include "render/device/devicehost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>

namespace miResources
{

namespace
{
ModelPool* g_pool = nullptr;

uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

int32_t ResolveMaterial(const char* name)
{
    if (!miRender::GetDeviceHost().HasResourcePools()) return -1; // no materials: surfaces keep none
    const int32_t id = miRender::GetDeviceHost().FindOrLoadMaterial(name);
    MIREL_ASSERT(id >= 0, __LINE__, "Error loading material: %s", name);
    return id;
}
} // namespace

void ModelSurface::OnCreate()
{
    materialId = -1;
    indexCount = 0;
    indices = nullptr;
}

void ModelSurface::OnRelease()
{
    delete[] indices;
    indices = nullptr;
    indexCount = 0;
}

void Model::OnCreate()
{
    positionStride = kModelPositionStride;
    depthLayout = kModelDepthLayout;
    vertexCount = 0;
    vertices = nullptr;
    stride = 0;
    surfaces = nullptr;
    surfaceCount = surfaceCapacity = 0;
    std::memset(boundsMin, 0, sizeof boundsMin);
    std::memset(boundsMax, 0, sizeof boundsMax);
}

void Model::OnRelease()
{
    delete[] vertices;
    vertices = nullptr;
    vertexCount = 0;
    for (int32_t i = 0; i < surfaceCount; ++i)
        surfaces[i].OnRelease();
    delete[] surfaces;
    surfaces = nullptr;
    surfaceCount = surfaceCapacity = 0;
}

ModelSurface* Model::AddSurface(int32_t materialId, uint32_t type, uint32_t indexCount, uint32_t* indices)
{
    if (surfaceCount == surfaceCapacity)
    {
        const int32_t grown = surfaceCapacity > 0 ? surfaceCapacity * 2 : 4;
        ModelSurface* bigger = new ModelSurface[static_cast<size_t>(grown)];
        for (int32_t i = 0; i < surfaceCount; ++i)
            bigger[i] = surfaces[i];
        delete[] surfaces;
        surfaces = bigger;
        surfaceCapacity = grown;
    }
    ModelSurface& s = surfaces[surfaceCount++];
    s.materialId = materialId;
    s.type = type;
    s.indexCount = indexCount;
    s.indices = indices;
    return &s;
}

void Model::ComputeBounds()
{
    for (int k = 0; k < 3; ++k)
    {
        boundsMin[k] = 3.4028235e38f;
        boundsMax[k] = -3.4028235e38f;
    }
    boundsMin[3] = boundsMax[3] = 0.0f;
    if (stride < 12) return;
    for (uint32_t v = 0; v < vertexCount; ++v)
    {
        float p[3];
        std::memcpy(p, vertices + static_cast<size_t>(v) * stride, sizeof p);
        for (int k = 0; k < 3; ++k)
        {
            if (p[k] < boundsMin[k]) boundsMin[k] = p[k];
            if (p[k] > boundsMax[k]) boundsMax[k] = p[k];
        }
    }
}

MeshData::~MeshData()
{
    Reset();
}

void MeshData::Reset()
{
    for (uint32_t i = 0; i < surfaceCount; ++i)
        delete[] surfaces[i].indices;
    delete[] surfaces;
    delete[] vertices;
    surfaces = nullptr;
    vertices = nullptr;
    surfaceCount = vertexCount = stride = 0;
}

bool ParseMeshData(const uint8_t* bytes, size_t size, MeshData& mesh)
{
    mesh.Reset();
    // Header word, chunk count, vertex tag, vertex size, vertex count, stride.
    if (!bytes || size < 24) return false;
    const uint32_t chunkCount = ReadU32(bytes + 4);
    const uint32_t vertexChunkSize = ReadU32(bytes + 12);
    const uint32_t vertexCount = ReadU32(bytes + 16);
    const uint32_t stride = ReadU32(bytes + 20);
    if (chunkCount < 1 || stride != kModelFileStride) return false;
    // 64-bit arithmetic: a lying count cannot wrap into a small product.
    const uint64_t vertexBytes = static_cast<uint64_t>(vertexCount) * stride;
    if (static_cast<uint64_t>(vertexChunkSize) != 8 + vertexBytes) return false;
    size_t at = 24;
    if (vertexBytes > size - at) return false;
    // Every surface chunk takes at least 72 bytes, so the count is bounded by what is left.
    const uint64_t surfaceCount = chunkCount - 1u;
    if (surfaceCount > (size - at - vertexBytes) / 72) return false;

    mesh.vertexCount = vertexCount;
    mesh.stride = stride;
    mesh.vertices = new (std::nothrow) uint8_t[vertexBytes > 0 ? vertexBytes : 1];
    if (!mesh.vertices) return mesh.Reset(), false;
    std::memcpy(mesh.vertices, bytes + at, static_cast<size_t>(vertexBytes));
    at += static_cast<size_t>(vertexBytes);

    mesh.surfaces = new MeshSurfaceData[surfaceCount > 0 ? surfaceCount : 1]();
    for (uint64_t s = 0; s < surfaceCount; ++s)
    {
        if (size - at < 8) return mesh.Reset(), false;
        const uint32_t chunkSize = ReadU32(bytes + at + 4);
        at += 8;
        if (chunkSize < 64 || (chunkSize - 64) % 4 != 0 || chunkSize > size - at) return mesh.Reset(), false;
        MeshSurfaceData& out = mesh.surfaces[s];
        std::memcpy(out.materialName, bytes + at, 64);
        out.materialName[63] = '\0';
        out.indexCount = (chunkSize - 64) / 4;
        out.indices = new (std::nothrow) uint32_t[out.indexCount > 0 ? out.indexCount : 1];
        if (!out.indices) return mesh.Reset(), false;
        // Counted before its indices are checked, so a rejection frees this surface too.
        ++mesh.surfaceCount;
        for (uint32_t i = 0; i < out.indexCount; ++i)
        {
            out.indices[i] = ReadU32(bytes + at + 64 + 4 * static_cast<size_t>(i));
            // An index past the vertex array would make the GPU read outside the vertex buffer.
            if (out.indices[i] >= vertexCount) return mesh.Reset(), false;
        }
        at += chunkSize;
    }
    if (at != size) return mesh.Reset(), false;
    return true;
}

bool ReadMeshData(const char* name, MeshData& mesh)
{
    mesh.Reset();
    char path[256];
    const char* root = mirel::GetAssetRoot();
    if (std::snprintf(path, sizeof path, "%s/%s/%s.%s", root ? root : ".", "models", name, "model") >=
        static_cast<int>(sizeof path))
        return false;
    {
        std::ifstream probe(path, std::ios::binary);
        if (probe.fail() || probe.bad()) return false;
    }
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long length = ok ? std::ftell(f) : -1;
    ok = ok && length >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    uint8_t* image = ok ? new (std::nothrow) uint8_t[static_cast<size_t>(length) + 1] : nullptr;
    ok = image && std::fread(image, 1, static_cast<size_t>(length), f) == static_cast<size_t>(length);
    std::fclose(f);
    ok = ok && ParseMeshData(image, static_cast<size_t>(length), mesh);
    delete[] image;
    return ok;
}

void BuildModel(Model& model, const MeshData& mesh)
{
    model.stride = mesh.stride;
    model.vertexCount = mesh.vertexCount;
    const size_t bytes = static_cast<size_t>(mesh.vertexCount) * mesh.stride;
    model.vertices = new uint8_t[bytes > 0 ? bytes : 1];
    if (bytes) std::memcpy(model.vertices, mesh.vertices, bytes);
    for (uint32_t i = 0; i < mesh.surfaceCount; ++i)
    {
        const MeshSurfaceData& s = mesh.surfaces[i];
        uint32_t* indices = s.indexCount > 0 ? new uint32_t[s.indexCount] : nullptr;
        if (indices) std::memcpy(indices, s.indices, sizeof(uint32_t) * s.indexCount);
        model.AddSurface(ResolveMaterial(s.materialName), kSurfaceIndexed, s.indexCount, indices);
    }
    model.ComputeBounds();
    model.Create();
}

ModelPool& Models()
{
    static PooledModels<Model> plain;
    return g_pool ? *g_pool : plain;
}

void SetModelPool(ModelPool* pool)
{
    g_pool = pool;
}

Model* LoadModel(const char* name)
{
    ModelPool& pool = Models();
    if (Model* existing = pool.Find(name)) return existing;
    MeshData mesh;
    const bool read = ReadMeshData(name, mesh);
    MIREL_ASSERT(read, __LINE__, "Mesh data failed to load: %s", name);
    Model* model = pool.Create(name);
    if (!model) return nullptr;
    // A file that failed still gets its model, empty: its users draw nothing, and the next load
    // of the name finds it instead of reporting again.
    BuildModel(*model, mesh);
    return model;
}

Model* CreateFullscreenQuad()
{
    ModelPool& pool = Models();
    if (Model* existing = pool.Find("fullscreen_quad")) return existing;
    Model* m = pool.Create("fullscreen_quad");
    if (!m) return nullptr;
    static const float kQuad[4][5] = {{-1, 1, 0, 0, 0}, {1, 1, 0, 1, 0}, {1, -1, 0, 1, 1}, {-1, -1, 0, 0, 1}};
    m->stride = 20;
    m->vertexCount = 4;
    m->vertices = new uint8_t[sizeof kQuad];
    std::memcpy(m->vertices, kQuad, sizeof kQuad);
    m->AddSurface(-1, kSurfaceIndexed, 6, new uint32_t[6]{0, 3, 2, 0, 2, 1});
    m->ComputeBounds();
    m->Create();
    return m;
}

Model* CreateParticleEmitterPoints()
{
    Model* m = Models().Create("particleEmitterPoint");
    if (!m) return nullptr;
    constexpr uint32_t kCount = 4096;
    m->stride = 12;
    m->vertexCount = kCount;
    m->vertices = new uint8_t[kCount * 12];
    for (uint32_t i = 0; i < kCount; ++i)
    {
        const float p[3] = {static_cast<float>(i), 0.0f, 0.0f};
        std::memcpy(m->vertices + i * 12, p, sizeof p);
    }
    m->AddSurface(-1, kSurfacePoints, 0, nullptr);
    m->ComputeBounds();
    m->Create();
    return m;
}

size_t WriteMeshImage(const MeshData& mesh, uint32_t headerWord, uint8_t* out)
{
    const size_t vertexBytes = static_cast<size_t>(mesh.vertexCount) * mesh.stride;
    size_t total = 24 + vertexBytes;
    for (uint32_t s = 0; s < mesh.surfaceCount; ++s)
        total += 8 + 64 + 4 * static_cast<size_t>(mesh.surfaces[s].indexCount);
    if (!out) return total;
    WriteU32(out, headerWord);
    WriteU32(out + 4, mesh.surfaceCount + 1);
    WriteU32(out + 8, 0x56455254u); // tags are not interpreted by the reader
    WriteU32(out + 12, static_cast<uint32_t>(8 + vertexBytes));
    WriteU32(out + 16, mesh.vertexCount);
    WriteU32(out + 20, mesh.stride);
    if (vertexBytes) std::memcpy(out + 24, mesh.vertices, vertexBytes);
    size_t at = 24 + vertexBytes;
    for (uint32_t s = 0; s < mesh.surfaceCount; ++s)
    {
        const MeshSurfaceData& surf = mesh.surfaces[s];
        WriteU32(out + at, 0x53555246u);
        WriteU32(out + at + 4, 64 + 4 * surf.indexCount);
        std::memset(out + at + 8, 0, 64);
        std::memcpy(out + at + 8, surf.materialName, strnlen(surf.materialName, 63));
        for (uint32_t i = 0; i < surf.indexCount; ++i)
            WriteU32(out + at + 72 + 4 * static_cast<size_t>(i), surf.indices[i]);
        at += 72 + 4 * static_cast<size_t>(surf.indexCount);
    }
    return total;
}

} // namespace miResources
