// The demo application's scene build, blade turn and material reload.
#include "cadora.h"
#include "scene/siment.h"
#include "frametimer.h"
#include "support/material_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace
{

class CadoraScene : public ::testing::Test
{
  protected:
    void SetUp() override { miCadora::ResetDemoState(); }
    void TearDown() override
    {
        miSim::ClearScenePools();
        miCadora::ResetDemoState();
    }
};

TEST_F(CadoraScene, BuildRunsOnlyAfterFadeInAndStepsThroughThreeEntitiesAndThreePauses)
{
    miCadora::SceneBuildStep();
    EXPECT_EQ(miCadora::State().loadProgress, 0.0f);
    EXPECT_EQ(miSim::FindDynamicEnt("ground"), nullptr);

    miCadora::State().loadStarted = true;
    // Three entities, one a step, then three steps that pause the loader for 300 ms each.
    const char* built[] = {"ground", "windmill_base0", "windmill_blade0", nullptr, nullptr, nullptr};
    for (int i = 0; i < 6; ++i)
    {
        const auto t0 = std::chrono::steady_clock::now();
        miCadora::SceneBuildStep();
        const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - t0;
        EXPECT_NEAR(miCadora::State().loadProgress, 0.1f + 0.2f * static_cast<float>(i), 1e-5f);
        EXPECT_TRUE(!built[i] || miSim::FindDynamicEnt(built[i])) << i;
        EXPECT_TRUE(built[i] ? ms.count() < 250.0 : ms.count() >= 290.0) << i << ": " << ms.count() << " ms";
    }
    const float done = miCadora::State().loadProgress;
    miCadora::SceneBuildStep();
    EXPECT_EQ(miCadora::State().loadProgress, done);

    const miSim::DynamicEnt* ground = miSim::FindDynamicEnt("ground");
    const miSim::DynamicEnt* base = miSim::FindDynamicEnt("windmill_base0");
    const miSim::DynamicEnt* blades = miSim::FindDynamicEnt("windmill_blade0");
    ASSERT_TRUE(ground && base && blades);
    EXPECT_EQ(ground->flags & miSim::kEntityCastsShadow, 0u);
    EXPECT_NE(base->flags & miSim::kEntityCastsShadow, 0u);
    EXPECT_EQ(ground->transform.position.y, 1000.0f);
    EXPECT_EQ(blades->transform.position.x, 3.8f);
    EXPECT_EQ(blades->transform.position.y, 1050.84f);
}

TEST_F(CadoraScene, BladesTurnWithTheSliderAndRestartAfterAnHour)
{
    miSim::BuildDynamicEnt("windmill_blade0", "windmill_blades", {3.8f, 1050.84f, 0}, {0, 0, 0});
    miSim::DynamicEnt* blades = miSim::FindDynamicEnt("windmill_blade0");
    ASSERT_NE(blades, nullptr);

    struct Case
    {
        float slider, dt, expectedSpeed;
    };
    for (const Case& c : {Case{0.3f, 0.5f, 30.0f}, Case{1.0f, 0.25f, 100.0f}, Case{0.65f, 1.0f / 60, 65.0f}})
    {
        miCadora::State().bladeSlider = c.slider;
        const float before = blades->transform.rotation.x;
        blades->transform.dirty = 0;
        miCadora::TurnBlades(c.dt);
        EXPECT_FLOAT_EQ(miCadora::State().bladeSpeed, c.expectedSpeed);
        EXPECT_NEAR(blades->transform.rotation.x, before - c.expectedSpeed * c.dt, 1e-4f);
        EXPECT_EQ(blades->transform.rotation.y, 0.0f);
        EXPECT_EQ(blades->transform.dirty, 1);
    }

    miCadora::State().bladeClock = miCadora::kBladeClockRestart - 0.01f;
    mirel::g_frameTimer.elapsed = 1234.0f;
    mirel::g_presentTimer.elapsed = 99.0f;
    miCadora::TurnBlades(0.005f);
    EXPECT_NE(blades->transform.rotation.x, 0.0f) << "still inside the hour";
    miCadora::TurnBlades(0.02f);
    EXPECT_EQ(blades->transform.rotation.x, 0.0f);
    EXPECT_EQ(miCadora::State().bladeClock, 0.0f);
    EXPECT_EQ(mirel::g_frameTimer.elapsed, 0.0f);
    EXPECT_EQ(mirel::g_presentTimer.elapsed, 0.0f);
}

TEST(CadoraMaterials, ReloadCreatesMissingMaterialsAndRereadsLoadedOnes)
{
    mirel::test::AssetTree tree;
    tree.CopyShipped();
    ASSERT_EQ(miResources::MaterialManager().Find("ground"), nullptr);
    miCadora::ReloadMaterials();
    for (const char* name : {"WM_blade", "ground", "skybox"})
        EXPECT_NE(miResources::MaterialManager().Find(name), nullptr) << name;
    const int32_t count = miResources::MaterialManager().Count();
    miCadora::ReloadMaterials();
    EXPECT_EQ(miResources::MaterialManager().Count(), count) << "a reload must not create a second copy";
}

} // namespace
