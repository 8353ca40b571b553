// The Direct3D 11 side of the menu and the overlays: sheet textures, the widgets' vertex
// buffers and the shared line buffer, all in the device layer's pools.
#include "overlayviews.h"

#include "gui/drawbatch.h"

#include "render/device/dx11/dx11Resources.h"

#include <cstdlib>
#include <cstring>

namespace miCadora
{

namespace
{

int32_t LoadSheetTexture(const char* fileName)
{
    const int32_t handle = miResources::LoadTexture(fileName);
    miResources::PlatformTexture* t = miResources::Textures().FromHandle(handle);
    return t ? t->gpuResourceId : -1;
}

int32_t CreateBatchBuffer(int32_t vertexCount)
{
    if (vertexCount <= 0) return -1;
    miResources::PlatformDynamicVertexBuffer* b = miResources::DynamicVertexBuffers().Create(nullptr);
    if (!b) return -1;
    b->count = static_cast<uint32_t>(vertexCount);
    b->stride = sizeof(miGui::SpriteVertex);
    // The replay reads this memory after recording; it lives until the widget is released.
    b->data = std::calloc(b->count, b->stride);
    b->Create();
    return b->handle;
}

void ReleaseBatchBuffer(int32_t bufferId)
{
    miResources::PlatformDynamicVertexBuffer* b = miResources::DynamicVertexBuffers().FromHandle(bufferId);
    if (!b) return;
    std::free(b->data);
    b->data = nullptr;
    miResources::DynamicVertexBuffers().Release(bufferId);
}

void UploadBatch(int32_t bufferId, const void* vertices, uint32_t bytes)
{
    miResources::PlatformDynamicVertexBuffer* b = miResources::DynamicVertexBuffers().FromHandle(bufferId);
    if (!b || !b->data || !vertices) return;
    const uint32_t room = b->count * b->stride;
    std::memcpy(b->data, vertices, bytes < room ? bytes : room);
}

int32_t MakeLineBuffer()
{
    auto& pool = miResources::DynamicVertexBuffers();
    if (miResources::PlatformDynamicVertexBuffer* b = pool.Find("lineDrawBuffer")) return b->handle;
    miResources::PlatformDynamicVertexBuffer* b = pool.Create("lineDrawBuffer");
    if (!b) return -1;
    b->count = kDebugLineCapacity;
    b->stride = sizeof(LineVertex);
    b->data = DebugLines();
    b->Create();
    return b->handle;
}

} // namespace

void InstallGuiDeviceHooks()
{
    miGui::SetSheetTextureLoader(LoadSheetTexture);
    miGui::SetBatchBufferCreator(CreateBatchBuffer);
    miGui::SetBatchBufferReleaser(ReleaseBatchBuffer);
    miGui::SetBatchUploader(UploadBatch);
    SetLineBufferMaker(MakeLineBuffer);
}

} // namespace miCadora
