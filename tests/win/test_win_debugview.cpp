// The statistics view's wiring: the figures it gathers come from the right owners, and T swaps
// the overlay material to the shadow cascade and back.
#include "cadoracompute.h"
#include "debugview.h"
#include "demostate.h"

#include "core/utils.h"
#include "frametimer.h"
#include "mainloop.h"
#include "render/material.h"
#include "support/fake_device.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>

TEST(DebugView, GatheredFiguresComeFromTheirOwners)
{
    mirel::g_frameTimer.delta = 0.02f;
    mirel::g_frameTimer.fps = 48.0f;
    mirel::g_frameTimer.instantFps = 50.0f;
    mirel::g_frameTimer.averageFps = 49.0f;
    mirel::g_engineState.gpuFrameMs = 11.0f;
    mirel::g_engineState.gpuSecondMs = 13.0f;
    mirel::g_engineState.gpuTimingBroken = 1;
    mirel::g_engineState.frameCounter = 77;
    mirel::g_updateMs = 2.5f;
    mirel::g_presentMs = 3.5f;
    miCadora::State().useGpuQuery = true;
    miCadora::g_loadState.computeThreads = 900;
    miCadora::g_loadState.threadIncrement = 9;
    miCadora::g_loadState.historyCount = 1000; // beyond the array: only its capacity is read
    miCadora::State().showStats = true;

    const miCadora::StatsInputs in = miRender::GatherStatsInputs();
    EXPECT_FLOAT_EQ(in.delta, 0.02f);
    EXPECT_FLOAT_EQ(in.fps, 48.0f);
    EXPECT_FLOAT_EQ(in.instantFps, 50.0f);
    EXPECT_FLOAT_EQ(in.averageFps, 49.0f);
    EXPECT_FLOAT_EQ(in.gpuFrameMs, 11.0f);
    EXPECT_FLOAT_EQ(in.gpuSecondMs, 13.0f);
    EXPECT_TRUE(in.gpuTimingFault);
    EXPECT_EQ(in.frameCounter, 77u);
    EXPECT_FLOAT_EQ(in.updateMs, 2.5f);
    EXPECT_FLOAT_EQ(in.presentMs, 3.5f);
    EXPECT_TRUE(in.useGpuQuery);
    EXPECT_EQ(in.computeThreads, 900);
    EXPECT_EQ(in.threadIncrement, 9);
    EXPECT_EQ(in.threadHistory, miCadora::g_loadState.threadHistory);
    EXPECT_EQ(in.threadHistoryCount, miCadora::kThreadHistoryMax);
    EXPECT_TRUE(in.showStats);
    // Neither desktop property is registered here.
    EXPECT_EQ(in.desktopX, FLT_MAX);
    EXPECT_EQ(in.desktopY, FLT_MAX);
    miCadora::State().showStats = false;
    miCadora::g_loadState.historyCount = 0;
}

TEST(DebugView, TTogglesTheShadowMapAndRestoresTheTexture)
{
    mirel::test::FakeDevice host;
    host.gpu["cascade0"] = 7;
    miRender::SetDeviceHost(&host);
    miResources::Material* overlay = miResources::MaterialManager().Create("overlay");
    ASSERT_NE(overlay, nullptr);
    overlay->srvIds[0][0] = 3;
    ASSERT_EQ(miCadora::State().debugTextureIndex, -1);

    for (int round = 0; round < 2; ++round)
    {
        miRender::ToggleDebugTexture();
        EXPECT_EQ(miCadora::State().debugTextureIndex, 0);
        EXPECT_EQ(overlay->srvIds[0][0], 7);
        miRender::ToggleDebugTexture();
        EXPECT_EQ(miCadora::State().debugTextureIndex, -1);
        EXPECT_EQ(overlay->srvIds[0][0], 3);
    }

    // Without the cascade the toggle is reported, and the material keeps its texture both ways.
    host.gpu.clear();
    mirel::SetAssertEcho(false);
    mirel::ResetAssertReports();
    miRender::ToggleDebugTexture();
    EXPECT_EQ(overlay->srvIds[0][0], 3);
    miRender::ToggleDebugTexture();
    char msg[512];
    EXPECT_EQ(mirel::AssertReportCount(), 1);
    EXPECT_NE(std::string(mirel::LastAssertMessage(msg, sizeof msg)).find("Resource not found: cascade0"),
              std::string::npos);
    mirel::SetAssertEcho(true);
    EXPECT_EQ(overlay->srvIds[0][0], 3);
    EXPECT_EQ(miCadora::State().debugTextureIndex, -1);

    miResources::MaterialManager().Clear();
    miRender::SetDeviceHost(nullptr);
}
