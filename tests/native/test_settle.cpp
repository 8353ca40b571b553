#include "core/props.h"
#include "settle.h"

#include <gtest/gtest.h>

using namespace mirel;

TEST(Settle, CapsScreenSizeAndPicksRefresh)
{
    struct Case
    {
        const char* config; // extra properties before settlement
        DesktopMode mode;
        float detectedHz;
        float expectX, expectY, expectHz;
        bool ok;
    } cases[] = {
        {"cap", {2560, 1440, 144.0f, false}, 0, 1920, 1080, 144, true},
        {"", {2560, 1440, 0.0f, false}, 120.0f, 2560, 1440, 120, true},
        {"", {1920, 1080, 0.0f, false}, 0.0f, 1920, 1080, 60, true},
        {"cap", {1600, 900, 59.94f, false}, 75.0f, 1600, 900, 59.94f, true},
        {"", {1920, 1080, 30.0f, true}, 0.0f, 1920, 1080, 60, false},
    };
    for (const Case& c : cases)
    {
        ClearProperties();
        RegisterDefaults();
        SetPropertyFloat("render_init.resolutionX", 640); // what config.ini said: replaced
        if (c.config[0])
        {
            SetPropertyFloat("render_init.max_resolution_X", 1920);
            SetPropertyFloat("render_init.max_resolution_Y", 1080);
        }
        EXPECT_EQ(SettleDisplaySettings(c.mode, c.detectedHz), c.ok);
        EXPECT_FLOAT_EQ(GetPropertyFloat("render_init.resolutionX"), c.expectX);
        EXPECT_FLOAT_EQ(GetPropertyFloat("render_init.resolutionY"), c.expectY);
        EXPECT_FLOAT_EQ(GetPropertyFloat("render_init.monitorRefresh"), c.expectHz);
    }
    ClearProperties();
}

TEST(Settle, DebugHotkeyFlagFollowsExactTrue)
{
    g_debugHotkeysEnabled = false;
    ClearProperties();
    SetPropertyString("debug.hotkey", "TRUE");
    SettleDisplaySettings({800, 600, 60, false}, 0);
    EXPECT_FALSE(g_debugHotkeysEnabled);
    SetPropertyString("debug.hotkey", "true");
    SettleDisplaySettings({800, 600, 60, false}, 0);
    EXPECT_TRUE(g_debugHotkeysEnabled);
    SetPropertyString("debug.hotkey", "false");
    SettleDisplaySettings({800, 600, 60, false}, 0);
    EXPECT_TRUE(g_debugHotkeysEnabled); // never cleared at start-up
    ClearProperties();
}
