// Models: one vertex array shared by surfaces, each with its own index list and material.
// Scene models come from binary "models/<name>.model" files; two are built in code.
#pragma once

#include "core/datastructs.h"

#include <cstddef>
#include <cstdint>

namespace miResources
{

constexpr uint32_t kModelFileStride = 56; // layout "pnttb"
constexpr uint32_t kModelPositionStride = 12;
constexpr uint32_t kModelDepthLayout = 2; // "p"
constexpr int32_t kModelCapacity = 8;

enum SurfaceType : uint32_t
{
    kSurfaceIndexed = 0,
    kSurfaceNonIndexed = 2,
    kSurfacePoints = 4,
};

class ModelSurface
{
  public:
    virtual ~ModelSurface() = default;
    virtual void OnCreate();
    virtual void OnRelease();

    int32_t materialId = -1;
    uint32_t indexCount = 0;
    uint32_t type = kSurfaceIndexed;
    uint32_t* indices = nullptr;
};

class Model : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void OnRelease() override;

    uint32_t vertexCount = 0;
    uint8_t* vertices = nullptr;
    uint32_t stride = 0;
    uint32_t positionStride = kModelPositionStride;
    uint32_t depthLayout = kModelDepthLayout;
    float boundsMin[4] = {};
    float boundsMax[4] = {};
    // Surfaces live in this array only (not pooled); grown by AddSurface.
    ModelSurface* surfaces = nullptr;
    int32_t surfaceCount = 0;
    int32_t surfaceCapacity = 0;

    // Appends a surface that takes ownership of indices (allocated with new[]).
    ModelSurface* AddSurface(int32_t materialId, uint32_t type, uint32_t indexCount, uint32_t* indices);
    // Bounds of the first three floats of every vertex; w stays 0.
    void ComputeBounds();
};

// One surface of a file as read, before its material is resolved.
struct MeshSurfaceData
{
    char materialName[64];
    uint32_t indexCount;
    uint32_t* indices; // owned by the mesh data
};

struct MeshData
{
    MeshData() = default;
    ~MeshData();
    MeshData(const MeshData&) = delete;
    MeshData& operator=(const MeshData&) = delete;
    void Reset();

    uint32_t vertexCount = 0;
    uint32_t stride = 0;
    uint8_t* vertices = nullptr; // vertexCount * stride bytes
    MeshSurfaceData* surfaces = nullptr;
    uint32_t surfaceCount = 0;
};

// Parses a whole model file image. Every count and size is checked against the bytes that are
// really there and against each other; false (and mesh reset) for any malformed image.
bool ParseMeshData(const uint8_t* bytes, size_t size, MeshData& mesh);

// Reads "models/<name>.model" under the asset root. False when the file is missing, cannot be
// read or is malformed.
bool ReadMeshData(const char* name, MeshData& mesh);

// Fills the model from mesh data (takes copies), computes bounds and calls Create().
void BuildModel(Model& model, const MeshData& mesh);

// The model pool. Its objects are of the device layer's derived class once it installs its pool.
class ModelPool
{
  public:
    virtual ~ModelPool() = default;
    virtual Model* Find(const char* name) = 0;
    virtual Model* Create(const char* name) = 0;
    virtual Model* FromHandle(int32_t id) = 0;
    virtual void Clear() = 0;
};

template <typename T> class PooledModels final : public ModelPool
{
  public:
    explicit PooledModels(int32_t capacity = kModelCapacity) : manager(capacity) {}
    Model* Find(const char* name) override { return manager.Find(name); }
    Model* Create(const char* name) override { return manager.Create(name); }
    Model* FromHandle(int32_t id) override { return manager.FromHandle(id); }
    void Clear() override { manager.Clear(); }

    mirel::ObjectManagerPooled<T> manager;
};

ModelPool& Models();
// Null restores the default pool of plain models.
void SetModelPool(ModelPool* pool);

// The existing model of that name, or one read from its file; null when it cannot be loaded.
Model* LoadModel(const char* name);
Model* CreateFullscreenQuad();
Model* CreateParticleEmitterPoints();

// Writes a model file image (the inverse of ParseMeshData); used by the model tool and tests.
// Returns the byte count; out may be null to size the image.
size_t WriteMeshImage(const MeshData& mesh, uint32_t headerWord, uint8_t* out);

} // namespace miResources
