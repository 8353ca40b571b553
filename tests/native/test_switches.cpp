// The demo renderer's control-key hotkeys through the real poll.
#include "switches.h"
#include "demostate.h"
#include "core/props.h"
#include "frametimer.h"
#include "input/input.h"
#include "mainloop.h"
#include "pump.h"

#include <gtest/gtest.h>

#include <utility>

namespace
{

int64_t g_counter = 0;
int64_t Counter(int64_t* frequency)
{
    if (frequency) *frequency = 1000;
    return g_counter;
}

void Press(char key, bool withControl = true)
{
    mirel::PumpState pump;
    if (withControl) mirel::RouteFocusedMessage(pump, mirel::msg::kKeyDown, mirel::msg::kVkControl, 0);
    mirel::RouteFocusedMessage(pump, mirel::msg::kKeyDown, static_cast<uintptr_t>(key),
                               static_cast<uint32_t>(key));
    miInput::g_inputModule.Update();
    if (withControl) mirel::RouteFocusedMessage(pump, mirel::msg::kKeyUp, mirel::msg::kVkControl, 0);
}

// Control 2 and 3 toggle the statistics and the frame-time graph, only with the debug hotkeys on;
// control 4, 6 and 8 reset their timers.
TEST(RendererHotkeys, ControlKeysToggleDebugSwitchesAndResetTimers)
{
    mirel::ClearEngineState();
    mirel::g_engineState.uiMode.store(mirel::kUiNone);
    mirel::SetCounterSource(Counter);
    miInput::g_inputModule.Init();
    miCadora::RegisterRendererHotkeys();
    bool& stats = miCadora::State().showStats;
    bool& snappy = miCadora::State().snappyVisible;
    stats = snappy = false;
    for (bool debug : {false, true})
    {
        mirel::g_debugHotkeysEnabled = debug;
        Press('2');
        EXPECT_EQ(std::make_pair(stats, snappy), std::make_pair(debug, false));
        Press('3');
        EXPECT_EQ(snappy, debug);
    }
    Press('2', false);
    EXPECT_TRUE(stats) << "toggled without control";
    mirel::g_debugHotkeysEnabled = false;
    mirel::FrameTimer* timers[] = {&mirel::g_frameTimer, &mirel::g_presentTimer, &mirel::g_updateTimer};
    const char keys[] = {'4', '6', '8'};
    for (int k = 0; k < 3; ++k)
    {
        g_counter = 1000;
        for (mirel::FrameTimer* t : timers)
            t->Reset();
        g_counter = 3000;
        Press(keys[k]);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(timers[i]->start, i == k ? 3000 : 1000) << keys[k];
    }
    mirel::SetCounterSource(nullptr);
}

} // namespace
