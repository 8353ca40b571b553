// What the resource files of this layer share: reports under one source name, the recipe every
// named resource follows, and the GPU-resource entries materials and compute bind by name.
#pragma once

#include "core/utils.h"
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11Resources.h"

namespace miResources::detail
{

constexpr const char* kSource = "render/device/dx11/dx11Resources";

inline void Fail(int line, const char* message)
{
    mirel::Assert(false, kSource, line, "%s", message);
}
inline bool Check(HRESULT hr, int line, const char* message)
{
    if (FAILED(hr) && !NoteDeviceLoss(hr, message)) Fail(line, message);
    return SUCCEEDED(hr);
}

// The recipe every named resource follows: an existing one is reset in place (keeping its id).
template <typename T> T* FindOrCreate(mirel::ObjectManagerPooled<T>& pool, const char* name)
{
    if (T* existing = pool.Find(name))
    {
        existing->OnRelease();
        existing->OnCreate();
        return existing;
    }
    return pool.Create(name);
}

// The entry of that name (found or created, then reset) for a texture, target or buffer.
int32_t MakeGpuResource(const char* name, uint32_t kind, int32_t refId, uint32_t writable);

PooledMaterialCfgs<PlatformMaterialCfg>& PlatformCfgs();

} // namespace miResources::detail
