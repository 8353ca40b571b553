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
#include "support/readback.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <tuple>

TEST(DebugView, GatheredFiguresComeFromTheirOwners)
{
    mirel::FrameTimer& timer = mirel::g_frameTimer;
    mirel::EngineState& engine = mirel::g_engineState;
    miCadora::LoadState& load = miCadora::g_loadState;
    timer.delta = 0.02f, timer.fps = 48.0f, timer.instantFps = 50.0f, timer.averageFps = 49.0f;
    engine.gpuFrameMs = 11.0f, engine.gpuSecondMs = 13.0f, engine.gpuTimingBroken = 1,
    engine.frameCounter = 77;
    mirel::g_updateMs = 2.5f, mirel::g_presentMs = 3.5f;
    load.computeThreads = 900, load.threadIncrement = 9;
    load.historyCount = 1000; // beyond the array: only its capacity is read
    miCadora::State().useGpuQuery = miCadora::State().showStats = true;

    const miCadora::StatsInputs in = miRender::GatherStatsInputs();
    EXPECT_EQ(std::make_tuple(in.delta, in.fps, in.instantFps, in.averageFps, in.gpuFrameMs, in.gpuSecondMs,
                              in.updateMs, in.presentMs),
              std::make_tuple(0.02f, 48.0f, 50.0f, 49.0f, 11.0f, 13.0f, 2.5f, 3.5f));
    EXPECT_EQ(std::make_tuple(in.gpuTimingFault, in.frameCounter, in.useGpuQuery, in.computeThreads,
                              in.threadIncrement, in.threadHistory, in.threadHistoryCount, in.showStats),
              std::make_tuple(true, uint64_t{77}, true, 900, 9, +load.threadHistory,
                              miCadora::kThreadHistoryMax, true));
    // Neither desktop property is registered here.
    EXPECT_EQ(std::make_pair(in.desktopX, in.desktopY), std::make_pair(FLT_MAX, FLT_MAX));
    miCadora::State().showStats = false;
    load.historyCount = 0;
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
    const auto state = [&]
    { return std::make_pair(miCadora::State().debugTextureIndex, overlay->srvIds[0][0]); };
    for (int round = 0; round < 2; ++round)
    {
        miRender::ToggleDebugTexture();
        EXPECT_EQ(state(), std::make_pair(0, 7));
        miRender::ToggleDebugTexture();
        EXPECT_EQ(state(), std::make_pair(-1, 3));
    }

    // Without the cascade the toggle is reported, and the material keeps its texture both ways.
    host.gpu.clear();
    mirel::SetAssertEcho(false);
    mirel::ResetAssertReports();
    miRender::ToggleDebugTexture();
    EXPECT_EQ(overlay->srvIds[0][0], 3);
    miRender::ToggleDebugTexture();
    EXPECT_EQ(mirel::AssertReportCount(), 1);
    EXPECT_TRUE(LastReportHas("Resource not found: cascade0"));
    mirel::SetAssertEcho(true);
    EXPECT_EQ(state(), std::make_pair(-1, 3));

    miResources::MaterialManager().Clear();
    miRender::SetDeviceHost(nullptr);
}
