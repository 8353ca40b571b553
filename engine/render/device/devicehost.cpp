#include "render/device/devicehost.h"

#include "core/datastructs.h"
#include "core/utils.h"

namespace miRender
{

namespace
{
constexpr const char* kSimentFile = "core/siment";
constexpr int32_t kConstantBufferCapacity = 128;
constexpr float kL = mirel::kLargestFloat;

// Without a device the entity buffers only need to exist by name.
struct NamedBuffer : mirel::ManagedResource
{
    int32_t registerSlot = -1;
    int32_t byteSize = 0;
    const void* data = nullptr;
};

mirel::ObjectManagerPooled<NamedBuffer>& NamedBuffers()
{
    static mirel::ObjectManagerPooled<NamedBuffer> buffers(kConstantBufferCapacity);
    return buffers;
}

DeviceHost g_nullHost;
DeviceHost* g_host = &g_nullHost;
} // namespace

int32_t DeviceHost::CreateEntityConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes,
                                               const void* data)
{
    mirel::ObjectManagerPooled<NamedBuffer>& buffers = NamedBuffers();
    if (NamedBuffer* existing = buffers.Find(name))
    {
        // The pool would take a second object under the same name and orphan the first.
        mirel::Assert(false, kSimentFile, __LINE__, "Trying to create an object that already exists: %s",
                      name);
        existing->data = data;
        return existing->handle;
    }
    NamedBuffer* b = buffers.Create(name);
    if (!b) return -1;
    b->registerSlot = registerSlot;
    b->byteSize = bytes;
    b->data = data;
    return b->handle;
}

void DeviceHost::ReleaseConstantBuffer(int32_t id)
{
    NamedBuffers().Release(id);
    // Nothing draws from these records, so there is no frame to wait for.
    NamedBuffers().ProcessPendingReleases();
}

int32_t DeviceHost::FindOrLoadModel(const char* /*name*/, mirel::Vec3& boundsMin, mirel::Vec3& boundsMax)
{
    boundsMin = {kL, kL, kL};
    boundsMax = {-kL, -kL, -kL};
    return -1;
}

void SetDeviceHost(DeviceHost* host)
{
    g_host = host ? host : &g_nullHost;
}
DeviceHost& GetDeviceHost()
{
    return *g_host;
}

} // namespace miRender
