#include "switches.h"

#include "demostate.h"

#include "frametimer.h"
#include "input/input.h"

#include "core/props.h"
#include "core/utils.h"

namespace miCadora
{

namespace
{

void ToggleStats()
{
    if (mirel::g_debugHotkeysEnabled) State().showStats = !State().showStats;
}
void ToggleSnappy()
{
    if (mirel::g_debugHotkeysEnabled) State().snappyVisible = !State().snappyVisible;
}
void ResetFrameTimer()
{
    mirel::g_frameTimer.Reset();
    mirel::Trace("frame timer reset");
}
void ResetPresentTimer()
{
    mirel::g_presentTimer.Reset();
    mirel::Trace("present timer reset");
}
void ResetUpdateTimer()
{
    mirel::g_updateTimer.Reset();
    mirel::Trace("update timer reset");
}

} // namespace

void RegisterRendererHotkeys()
{
    const struct
    {
        char key;
        void (*callback)();
    } keys[] = {{'3', ToggleSnappy},
                {'2', ToggleStats},
                {'4', ResetFrameTimer},
                {'6', ResetPresentTimer},
                {'8', ResetUpdateTimer}};
    for (const auto& k : keys)
    {
        miInput::KeyBinding binding;
        binding.key = k.key;
        binding.modifier = miInput::kModControl;
        binding.callback = k.callback;
        miInput::RegisterKey(binding);
    }
}

} // namespace miCadora
