#include "switches.h"

#include "frametimer.h"
#include "input/input.h"

#include "core/props.h"

namespace miCadora
{

bool showStats = false;
bool snappyVisible = false;

namespace
{

void ToggleStats()
{
    if (mirel::g_debugHotkeysEnabled) showStats = !showStats;
}
void ToggleSnappy()
{
    if (mirel::g_debugHotkeysEnabled) snappyVisible = !snappyVisible;
}
void ResetFrameTimer() { mirel::g_frameTimer.Reset(); }
void ResetPresentTimer() { mirel::g_presentTimer.Reset(); }
void ResetUpdateTimer() { mirel::g_updateTimer.Reset(); }

} // namespace

void RegisterRendererHotkeys()
{
    const struct
    {
        char key;
        void (*callback)();
    } keys[] = {{'3', ToggleSnappy}, {'2', ToggleStats}, {'4', ResetFrameTimer}, {'6', ResetPresentTimer},
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
