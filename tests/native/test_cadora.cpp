// The demo application's scene build, blade turn and material reload.
#include "cadora.h"
#include "scene/siment.h"
#include "frametimer.h"
#include "support/material_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

namespace
{

using namespace miCadora;

class CadoraScene : public ::testing::Test
{
  protected:
    void SetUp() override { ResetDemoState(); }
    void TearDown() override
    {
        miSim::ClearScenePools();
        ResetDemoState();
    }
};

TEST_F(CadoraScene, BuildRunsOnlyAfterFadeInAndStepsThroughThreeEntitiesAndThreePauses)
{
    SceneBuildStep();
    EXPECT_TRUE(State().loadProgress == 0.0f && !miSim::FindDynamicEnt("ground"));
    State().loadStarted = true;
    // Three entities, one a step, then three steps that pause the loader for 300 ms each.
    const char* built[] = {"ground", "windmill_base0", "windmill_blade0", nullptr, nullptr, nullptr};
    for (int i = 0; i < 6; ++i)
    {
        const auto t0 = std::chrono::steady_clock::now();
        SceneBuildStep();
        const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - t0;
        EXPECT_NEAR(State().loadProgress, 0.1f + 0.2f * static_cast<float>(i), 1e-5f);
        EXPECT_TRUE(!built[i] || miSim::FindDynamicEnt(built[i])) << i;
        EXPECT_TRUE(built[i] ? ms.count() < 250.0 : ms.count() >= 290.0) << i << ": " << ms.count() << " ms";
    }
    const float done = State().loadProgress;
    SceneBuildStep();
    EXPECT_EQ(State().loadProgress, done);
    const miSim::DynamicEnt* ground = miSim::FindDynamicEnt("ground");
    const miSim::DynamicEnt* base = miSim::FindDynamicEnt("windmill_base0");
    const miSim::DynamicEnt* blades = miSim::FindDynamicEnt("windmill_blade0");
    ASSERT_TRUE(ground && base && blades);
    // The ground receives the windmill's shadow but casts none.
    EXPECT_EQ(
        std::make_tuple(ground->flags & miSim::kEntityCastsShadow, base->flags & miSim::kEntityCastsShadow),
        std::make_tuple(0u, static_cast<uint32_t>(miSim::kEntityCastsShadow)));
    EXPECT_EQ(std::make_tuple(ground->transform.position.y, blades->transform.position.x,
                              blades->transform.position.y),
              std::make_tuple(1000.0f, 3.8f, 1050.84f));
}

TEST_F(CadoraScene, BladesTurnWithTheSliderAndRestartAfterAnHour)
{
    miSim::BuildDynamicEnt("windmill_blade0", "windmill_blades", {3.8f, 1050.84f, 0}, {0, 0, 0});
    miSim::DynamicEnt* blades = miSim::FindDynamicEnt("windmill_blade0");
    ASSERT_NE(blades, nullptr);
    // The slider, the frame time and the speed turned at.
    for (const auto& [slider, dt, speed] :
         {std::make_tuple(0.3f, 0.5f, 30.0f), std::make_tuple(1.0f, 0.25f, 100.0f),
          std::make_tuple(0.65f, 1.0f / 60, 65.0f)})
    {
        State().bladeSlider = slider;
        const float before = blades->transform.rotation.x;
        blades->transform.dirty = 0;
        TurnBlades(dt);
        EXPECT_FLOAT_EQ(State().bladeSpeed, speed);
        EXPECT_NEAR(blades->transform.rotation.x, before - speed * dt, 1e-4f);
        EXPECT_EQ(std::make_tuple(blades->transform.rotation.y, blades->transform.dirty),
                  std::make_tuple(0.0f, 1));
    }
    State().bladeClock = kBladeClockRestart - 0.01f;
    mirel::g_frameTimer.elapsed = 1234.0f;
    mirel::g_presentTimer.elapsed = 99.0f;
    TurnBlades(0.005f);
    EXPECT_NE(blades->transform.rotation.x, 0.0f) << "still inside the hour";
    TurnBlades(0.02f);
    EXPECT_EQ(std::make_tuple(blades->transform.rotation.x, State().bladeClock, mirel::g_frameTimer.elapsed,
                              mirel::g_presentTimer.elapsed),
              std::make_tuple(0.0f, 0.0f, 0.0f, 0.0f));
}

TEST(CadoraMaterials, ReloadCreatesMissingMaterialsAndRereadsLoadedOnes)
{
    mirel::test::AssetTree tree;
    tree.CopyShipped();
    ASSERT_EQ(miResources::MaterialManager().Find("ground"), nullptr);
    ReloadMaterials();
    for (const char* name : {"WM_blade", "ground", "skybox"})
        EXPECT_NE(miResources::MaterialManager().Find(name), nullptr) << name;
    const int32_t count = miResources::MaterialManager().Count();
    ReloadMaterials();
    EXPECT_EQ(miResources::MaterialManager().Count(), count) << "a reload must not create a second copy";
}

} // namespace
