#include "core/props.h"
#include "settle.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mirel;

TEST(Settle, CapsScreenSizePicksRefreshAndEnablesTheDebugHotkeys)
{
    // Whether the size is capped at 1920x1080, the desktop mode and the detected rate; the size and
    // rate settled, and whether the mode is usable.
    const std::tuple<bool, DesktopMode, float, float, float, float, bool> cases[] = {
        {true, {2560, 1440, 144.0f, false}, 0, 1920, 1080, 144, true},
        {false, {2560, 1440, 0.0f, false}, 120.0f, 2560, 1440, 120, true},
        {false, {1920, 1080, 0.0f, false}, 0.0f, 1920, 1080, 60, true},
        {true, {1600, 900, 59.94f, false}, 75.0f, 1600, 900, 59.94f, true},
        {false, {1920, 1080, 30.0f, true}, 0.0f, 1920, 1080, 60, false},
    };
    for (const auto& [cap, mode, detectedHz, x, y, hz, ok] : cases)
    {
        ClearProperties();
        RegisterDefaults();
        SetPropertyFloat("render_init.resolutionX", 640); // what config.ini said: replaced
        if (cap)
        {
            SetPropertyFloat("render_init.max_resolution_X", 1920);
            SetPropertyFloat("render_init.max_resolution_Y", 1080);
        }
        EXPECT_EQ(SettleDisplaySettings(mode, detectedHz), ok);
        EXPECT_EQ(std::make_tuple(GetPropertyFloat("render_init.resolutionX"),
                                  GetPropertyFloat("render_init.resolutionY"),
                                  GetPropertyFloat("render_init.monitorRefresh")),
                  std::make_tuple(x, y, hz));
    }
    // The debug hotkeys follow an exact "true", and are never switched off at start-up.
    g_debugHotkeysEnabled = false;
    ClearProperties();
    const char* values[] = {"TRUE", "true", "false"};
    for (int i = 0; i < 3; ++i)
    {
        SetPropertyString("debug.hotkey", values[i]);
        SettleDisplaySettings({800, 600, 60, false}, 0);
        EXPECT_EQ(g_debugHotkeysEnabled, i > 0) << values[i];
    }
    ClearProperties();
}
