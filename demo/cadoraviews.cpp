#include "cadoraviews.h"

namespace miRender
{

const char* const kCadoraViewNames[kCadoraViewCount] = {
    "ls",        "FP_Shadow_RV", "mainSceneZPrepass", "mainSceneOpaque", "Sky_RV", "atmosphere",
    "Redbar_RV", "Gui_RV",       "Debug_RV",          "Snappy_RV",
};

namespace
{
ViewFactory g_factories[kCadoraViewCount] = {};

bool IsForeignSlot(int32_t index)
{
    return index == kViewLoadScreen || (index >= kViewRedbar && index < kCadoraViewCount);
}
} // namespace

bool SetCadoraViewFactory(int32_t index, ViewFactory factory)
{
    if (!IsForeignSlot(index)) return false;
    g_factories[index] = factory;
    return true;
}

ViewFactory CadoraViewFactory(int32_t index)
{
    return index >= 0 && index < kCadoraViewCount ? g_factories[index] : nullptr;
}

void ApplyViewStates(bool (&enabled)[kCadoraViewCount], float loadProgress, bool sceneReady,
                     bool snappyVisible)
{
    if (loadProgress < 1.0f)
    {
        for (bool& e : enabled)
            e = false;
        enabled[kViewLoadScreen] = true;
    }
    else if (sceneReady)
    {
        enabled[kViewLoadScreen] = false;
        enabled[kViewRedbar] = enabled[kViewGui] = enabled[kViewDebug] = true;
        enabled[kViewSnappy] = snappyVisible;
    }
    else
    {
        for (bool& e : enabled)
            e = true;
        for (int32_t i = kViewRedbar; i < kCadoraViewCount; ++i)
            enabled[i] = false;
    }
}

} // namespace miRender
