// The Direct3D 11 side of the overlays: the shared line buffer over the demo's line list, in the
// device layer's pool (sheet textures and the widgets' buffers are the device host's).
#include "overlayviews.h"

#include "render/device/dx11/dx11Resources.h"

namespace miCadora
{

namespace
{

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
    SetLineBufferMaker(MakeLineBuffer);
}

} // namespace miCadora
