// Display-mode matching and refresh-rate choice over an output's mode list; no DXGI here so
// the rules can be checked against made-up lists.
#pragma once

#include <cstdint>

namespace miResources
{

struct DisplayMode
{
    uint32_t width, height;
    uint32_t refreshNumerator, refreshDenominator;
};

// The mode whose size is nearest the request (exact sizes first; ties keep list order).
// False for an empty list.
bool FindClosestMatchingMode(const DisplayMode* modes, int32_t count, uint32_t width, uint32_t height,
                             DisplayMode& closest);

constexpr uint32_t kRefreshUnchosen = 0xFFFFFFFFu;

struct RefreshChoice
{
    uint32_t numerator = kRefreshUnchosen, denominator = 1;
    int32_t usedRefreshHz = 0;
    int32_t maxRefreshHz = 0;
};

// Over the modes of exactly width x height: with desiredHz >= 0 the last mode whose whole
// hertz equal desiredHz's becomes the refresh; the highest rate gives maxRefreshHz, and also
// usedRefreshHz when nothing is desired (desiredHz < 0).
RefreshChoice ChooseRefresh(const DisplayMode* modes, int32_t count, uint32_t width, uint32_t height,
                            float desiredHz);

// Which of the four adapter records (kept by DXGI index) describes the selected slot of the
// usable-adapter list; skipped software adapters leave gaps, so the slot is not the index.
// 0 when nothing usable was listed.
int32_t AdapterRecordIndex(const int32_t adapterIndices[4], int32_t adapterCount, int32_t slot);

// Swap-chain buffers for the presentation settings.
uint32_t SwapChainBufferCount(bool fullscreen, bool tripleBuffered, bool vsync);

} // namespace miResources
