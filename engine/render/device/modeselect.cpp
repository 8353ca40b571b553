#include "render/device/modeselect.h"

namespace miResources
{

bool FindClosestMatchingMode(const DisplayMode* modes, int32_t count, uint32_t width, uint32_t height,
                             DisplayMode& closest)
{
    if (!modes || count <= 0) return false;
    uint64_t best = UINT64_MAX;
    for (int32_t i = 0; i < count; ++i)
    {
        const int64_t dw = static_cast<int64_t>(modes[i].width) - width;
        const int64_t dh = static_cast<int64_t>(modes[i].height) - height;
        const uint64_t d = static_cast<uint64_t>(dw * dw + dh * dh);
        if (d < best)
        {
            best = d;
            closest = modes[i];
        }
    }
    return true;
}

RefreshChoice ChooseRefresh(const DisplayMode* modes, int32_t count, uint32_t width, uint32_t height,
                            float desiredHz)
{
    RefreshChoice choice;
    float maxRate = 0.0f;
    for (int32_t i = 0; modes && i < count; ++i)
    {
        const DisplayMode& m = modes[i];
        if (m.width != width || m.height != height || m.refreshDenominator == 0) continue;
        const float rate = static_cast<float>(m.refreshNumerator) / static_cast<float>(m.refreshDenominator);
        if (desiredHz >= 0.0f && static_cast<int32_t>(rate) == static_cast<int32_t>(desiredHz))
        {
            choice.numerator = m.refreshNumerator;
            choice.denominator = m.refreshDenominator;
        }
        if (rate > maxRate) maxRate = rate;
    }
    choice.usedRefreshHz = static_cast<int32_t>(desiredHz >= 0.0f ? desiredHz : maxRate);
    choice.maxRefreshHz = static_cast<int32_t>(maxRate);
    return choice;
}

int32_t AdapterRecordIndex(const int32_t adapterIndices[4], int32_t adapterCount, int32_t slot)
{
    if (!adapterIndices || adapterCount <= 0) return 0;
    const int32_t listed = adapterCount < 4 ? adapterCount : 4;
    const int32_t index = adapterIndices[slot >= 0 && slot < listed ? slot : 0];
    return index >= 0 && index < 4 ? index : 0;
}

uint32_t SwapChainBufferCount(bool fullscreen, bool tripleBuffered, bool vsync)
{
    if (!fullscreen) return 1;
    if (tripleBuffered) return 3;
    return vsync ? 2 : 1;
}

} // namespace miResources
