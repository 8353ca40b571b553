// Windows-side behaviour of the core services, run under Wine.
#include "core/props.h"
#include "core/sys.h"
#include "core/utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

using namespace mirel;

TEST(WinUtils, AssertReportsWithoutBlockingWhenSwitchIsSet)
{
    // The runner sets the switch; without it this call would wait on a message box forever.
    ASSERT_TRUE(sys::EnvironmentFlag("MIREL_ASSERT_STDERR"));
    SetAssertEcho(false);
    ResetAssertReports();
    Assert(false, "core/utils", 7, "value %d of %s", 3, "x");
    EXPECT_EQ(AssertReportCount(), 1);
    char buf[256];
    EXPECT_STREQ(LastAssertMessage(buf, sizeof buf), "\n\nfile: core/utils, line: 7 \n\nvalue 3 of x");
    SetAssertEcho(true);
}

TEST(WinUtils, ExecutableDirectoryAndAssetRoot)
{
    const std::string dir = GetExecutableDirectory();
    ASSERT_GT(dir.size(), 2u);
    EXPECT_EQ(dir[1], ':'); // a drive path from GetModuleFileNameA
    EXPECT_NE(dir.back(), '\\');
    BuildAssetRoot();
    std::string expected = dir + "/../assets";
    std::replace(expected.begin(), expected.end(), '\\', '/');
    EXPECT_EQ(GetAssetRoot(), expected);
}

TEST(WinUtils, ConfigIniBesideTheProgramIsRead)
{
    const std::string path = std::string(GetExecutableDirectory()) + "\\config.ini";
    std::ofstream(path, std::ios::binary) << "[render_init]\r\nfullscreen = false\r\nresolutionX = 1024\r\n";
    ClearProperties();
    RegisterDefaults();
    std::remove(path.c_str());
    EXPECT_TRUE(IsPropertyFalse("render_init.fullscreen"));
    EXPECT_FLOAT_EQ(GetPropertyFloat("render_init.resolutionX"), 1024.0f);
    EXPECT_FLOAT_EQ(GetPropertyFloat("camera.translate_speed"), 100.0f);
    ClearProperties();
}

TEST(WinUtils, NamedAutoResetEvent)
{
    sys::AutoResetEvent ev(ToWide("Mirel_Test_Event"));
    ASSERT_TRUE(ev.Valid());
    EXPECT_FALSE(ev.WaitFor(0));
    ev.Set();
    ev.Set();
    EXPECT_TRUE(ev.WaitFor(0));
    EXPECT_FALSE(ev.WaitFor(0)); // two sets without a waiter wake once
}
