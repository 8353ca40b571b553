// A removed or reset device fails every later call the same way, so only the first failure says
// anything: it is latched here once, reported once, and the loop stops on it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace miResources
{

constexpr uint32_t kDxgiErrorDeviceRemoved = 0x887A0005u;
constexpr uint32_t kDxgiErrorDeviceHung = 0x887A0006u;
constexpr uint32_t kDxgiErrorDeviceReset = 0x887A0007u;
constexpr uint32_t kDxgiErrorDriverInternalError = 0x887A0020u;

// Results after which the device and everything made on it are unusable.
bool IsDeviceLoss(uint32_t result);
// The DXGI or COM name of a result ("DXGI_ERROR_DEVICE_HUNG"), else its hexadecimal value.
void FormatDeviceResult(uint32_t result, char* out, size_t size);
// True for the one call that latched the first loss; later losses keep the first result.
bool LatchDeviceLoss(uint32_t result);
// The latched result, 0 while the device is healthy.
uint32_t DeviceLossResult();
void ClearDeviceLoss();

} // namespace miResources
