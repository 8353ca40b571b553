#include "render/device/devicelost.h"

#include <atomic>
#include <cstdio>

namespace miResources
{

namespace
{
// Calls on the update thread (resource creation) and the message thread (present) race for it.
std::atomic<uint32_t> g_lossResult{0};

struct Named
{
    uint32_t result;
    const char* name;
};
constexpr Named kNames[] = {
    {0u, "S_OK"},
    {kDxgiErrorDeviceRemoved, "DXGI_ERROR_DEVICE_REMOVED"},
    {kDxgiErrorDeviceHung, "DXGI_ERROR_DEVICE_HUNG"},
    {kDxgiErrorDeviceReset, "DXGI_ERROR_DEVICE_RESET"},
    {kDxgiErrorDriverInternalError, "DXGI_ERROR_DRIVER_INTERNAL_ERROR"},
    {0x887A0001u, "DXGI_ERROR_INVALID_CALL"},
    {0x8007000Eu, "E_OUTOFMEMORY"},
    {0x80070057u, "E_INVALIDARG"},
};
} // namespace

bool IsDeviceLoss(uint32_t result)
{
    return result == kDxgiErrorDeviceRemoved || result == kDxgiErrorDeviceHung ||
           result == kDxgiErrorDeviceReset || result == kDxgiErrorDriverInternalError;
}

void FormatDeviceResult(uint32_t result, char* out, size_t size)
{
    if (!out || size == 0) return;
    for (const Named& n : kNames)
        if (n.result == result)
        {
            std::snprintf(out, size, "%s", n.name);
            return;
        }
    std::snprintf(out, size, "0x%08X", static_cast<unsigned>(result));
}

bool LatchDeviceLoss(uint32_t result)
{
    if (!IsDeviceLoss(result)) return false;
    uint32_t healthy = 0;
    return g_lossResult.compare_exchange_strong(healthy, result);
}

uint32_t DeviceLossResult()
{
    return g_lossResult.load();
}

void ClearDeviceLoss()
{
    g_lossResult.store(0);
}

} // namespace miResources
