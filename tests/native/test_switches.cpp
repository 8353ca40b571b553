// The demo renderer's control-key hotkeys through the real poll.
#include "switches.h"
#include "demostate.h"
#include "core/props.h"
#include "frametimer.h"
#include "input/input.h"
#include "mainloop.h"
#include "pump.h"

#include <gtest/gtest.h>

namespace
{

int64_t g_counter = 0;
int64_t Counter(int64_t* frequency)
{
    if (frequency) *frequency = 1000;
    return g_counter;
}

void PressWithControl(char key)
{
    mirel::PumpState pump;
    mirel::RouteFocusedMessage(pump, mirel::msg::kKeyDown, mirel::msg::kVkControl, 0);
    mirel::RouteFocusedMessage(pump, mirel::msg::kKeyDown, static_cast<uintptr_t>(key),
                               static_cast<uint32_t>(key));
    miInput::g_inputModule.Update();
    mirel::RouteFocusedMessage(pump, mirel::msg::kKeyUp, mirel::msg::kVkControl, 0);
}

TEST(RendererHotkeys, DebugSwitchesNeedTheDebugFlagAndControl)
{
    mirel::ClearEngineState();
    mirel::g_engineState.uiMode.store(mirel::kUiNone);
    miInput::g_inputModule.Init();
    miCadora::RegisterRendererHotkeys();
    miCadora::State().showStats = miCadora::State().snappyVisible = false;

    mirel::g_debugHotkeysEnabled = false;
    PressWithControl('2');
    PressWithControl('3');
    EXPECT_FALSE(miCadora::State().showStats);
    EXPECT_FALSE(miCadora::State().snappyVisible);

    mirel::g_debugHotkeysEnabled = true;
    PressWithControl('2');
    EXPECT_TRUE(miCadora::State().showStats);
    EXPECT_FALSE(miCadora::State().snappyVisible);
    PressWithControl('3');
    EXPECT_TRUE(miCadora::State().snappyVisible);
    // Without control nothing toggles.
    mirel::PumpState pump;
    mirel::RouteFocusedMessage(pump, mirel::msg::kKeyDown, '2', '2');
    miInput::g_inputModule.Update();
    EXPECT_TRUE(miCadora::State().showStats);
    mirel::g_debugHotkeysEnabled = false;
}

TEST(RendererHotkeys, ControlDigitsResetTheirTimers)
{
    mirel::SetCounterSource(Counter);
    miInput::g_inputModule.Init();
    miCadora::RegisterRendererHotkeys();
    struct Case
    {
        char key;
        mirel::FrameTimer* reset;
    };
    const Case cases[] = {
        {'4', &mirel::g_frameTimer}, {'6', &mirel::g_presentTimer}, {'8', &mirel::g_updateTimer}};
    for (const Case& c : cases)
    {
        g_counter = 1000;
        for (mirel::FrameTimer* t : {&mirel::g_frameTimer, &mirel::g_presentTimer, &mirel::g_updateTimer})
            t->Reset();
        g_counter = 3000;
        PressWithControl(c.key);
        for (mirel::FrameTimer* t : {&mirel::g_frameTimer, &mirel::g_presentTimer, &mirel::g_updateTimer})
            EXPECT_EQ(t->start, t == c.reset ? 3000 : 1000) << c.key;
    }
    mirel::SetCounterSource(nullptr);
}

} // namespace
