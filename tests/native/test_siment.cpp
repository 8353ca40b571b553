// Entities in their pools, their constant buffers and transforms, and the world and physics steps.
#include "scene/siment.h"
#include "frametimer.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <tuple>

namespace
{

using mirel::Vec3;
using miSim::DynamicEnt;

class Entities : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        resources.anyModel = 7;
        miRender::SetDeviceHost(&resources);
    }
    void TearDown() override
    {
        miSim::ClearScenePools();
        miRender::SetDeviceHost(nullptr);
    }
    mirel::test::FakeDevice resources;
};

std::string Name(int i)
{
    return "ent" + std::to_string(i);
}

TEST_F(Entities, PoolsHoldOneLessThanTheirCapacityAndReleaseGivesBuffersBack)
{
    for (int i = 0; i < miSim::kDynamicEntCapacity - 1; ++i)
        ASSERT_NE(miSim::BuildDynamicEnt(Name(i).c_str(), "m", {float(i), 0, 0}, {0, 0, 0}), nullptr) << i;
    for (int i = 0; i < miSim::kLightEntCapacity - 1; ++i)
        ASSERT_NE(miSim::g_lightManager.Create(Name(i).c_str()), nullptr);
    {
        mirel::test::ReportCapture reports;
        EXPECT_EQ(miSim::BuildDynamicEnt("oneTooMany", "m", {}, {}), nullptr);
        EXPECT_NE(reports.Last().find("No free items left in array"), std::string::npos);
        EXPECT_EQ(miSim::g_lightManager.Create("oneTooMany"), nullptr);
    }
    // Release every third one; the rest keep their handles and poses.
    for (int i = 0; i < 99; i += 3)
        miSim::g_dynamicEntManager.Release(miSim::FindDynamicEnt(Name(i).c_str())->handle);
    miSim::ProcessSceneReleases();
    EXPECT_EQ(resources.released.size(), 33u);
    EXPECT_EQ(miSim::FindDynamicEnt(Name(3).c_str()), nullptr);
    for (int i : {1, 50, 98})
        EXPECT_FLOAT_EQ(miSim::FindDynamicEnt(Name(i).c_str())->transform.position.x, float(i));
    EXPECT_EQ(miSim::g_dynamicEntManager.Count(), 66);
}

// The pool hands a released slot out again as it is: it must start like a new entity.
TEST_F(Entities, ReusedSlotStartsLikeANewEntity)
{
    DynamicEnt* ground = miSim::BuildDynamicEnt("ground", "ground", {5, 1000, 0}, {0, 30, 0});
    EXPECT_EQ(ground->modelId, 7u);
    EXPECT_EQ(ground->flags, miSim::kEntityCastsShadow);
    ground->flags &= ~miSim::kEntityCastsShadow;
    ground->materialId = ground->depthMaterialId = 3;
    ground->instanceCount = 9;
    ground->userData = new uint8_t[16];
    const int32_t slot = ground->handle;
    miSim::g_dynamicEntManager.Release(slot);
    miSim::ProcessSceneReleases();
    DynamicEnt* fresh = miSim::g_dynamicEntManager.Create("fresh");
    ASSERT_EQ(fresh->handle, slot);
    EXPECT_EQ(fresh->flags, miSim::kEntityCastsShadow);
    EXPECT_EQ(fresh->modelId, miSim::kNoModel);
    EXPECT_EQ((std::array<int64_t, 3>{fresh->materialId, fresh->depthMaterialId, fresh->instanceCount}),
              (std::array<int64_t, 3>{-1, -1, 1}));
    EXPECT_FLOAT_EQ(fresh->transform.position.x, 0.0f);
    EXPECT_EQ(fresh->transform.dirty, 1);
    EXPECT_EQ(fresh->transform.constantBufferId, miSim::kNoConstantBuffer);
    EXPECT_EQ(fresh->userData, nullptr);
}

TEST_F(Entities, InitTransformComposesAndNamesTheBuffer)
{
    DynamicEnt* blade =
        miSim::BuildDynamicEnt("windmill_blade0", "windmill_blades", {3.8f, 1050.84f, 0}, {90, 0, 0});
    ASSERT_NE(blade, nullptr);
    const auto& b = resources.buffers.at(blade->transform.constantBufferId);
    EXPECT_EQ(b.name, "windmill_blade0_entConst");
    EXPECT_EQ(b.registerSlot, 3);
    EXPECT_EQ(b.bytes, 64);
    EXPECT_EQ(b.data, static_cast<const void*>(blade->transform.world.m));
    // Rx(90) takes the model's +Y (its 10 units of height) to +Z, then the position is added.
    const Vec3 tip = mirel::TransformPoint(blade->transform.world, {0, 10, 0});
    EXPECT_NEAR(tip.x, 3.8f, 1e-4f);
    EXPECT_NEAR(tip.y, 1050.84f, 1e-3f);
    EXPECT_NEAR(tip.z, 10.0f, 1e-4f);
    EXPECT_NEAR(blade->transform.worldBoundsMin.z, 0.0f, 1e-4f);
    EXPECT_NEAR(blade->transform.worldBoundsMax.z, 10.0f, 1e-4f);
    EXPECT_NEAR(blade->transform.worldBoundsMin.y, 1048.84f, 1e-3f);

    // Rebuilding by name gives back the old buffer before making the new one.
    const uint32_t oldId = blade->transform.constantBufferId;
    miSim::BuildDynamicEnt("windmill_blade0", "windmill_blades", {0, 0, 0}, {0, 0, 0});
    EXPECT_TRUE(resources.released.count(int32_t(oldId)));
    EXPECT_EQ(miSim::g_dynamicEntManager.Count(), 1);
}

TEST(EntityBuffers, BuiltInRegistryEnforcesNames)
{
    // Entity name length, whether its buffer is made twice, and the report ("": none).
    const std::tuple<size_t, bool, const char*> cases[] = {
        {54, false, ""},
        {55, false, "ObjectManagerPooled: name too long"},
        {6, true, "Trying to create an object that already exists: aaaaaa_entConst"}};
    for (const auto& [length, twice, report] : cases)
    {
        SCOPED_TRACE(length);
        const std::string name(length, 'a');
        mirel::test::ReportCapture reports;
        DynamicEnt* e = miSim::g_dynamicEntManager.Create(name.c_str());
        ASSERT_NE(e, nullptr);
        miSim::InitTransform(e->transform, name.c_str(), {}, {}, {}, {});
        if (twice) miSim::InitTransform(e->transform, name.c_str(), {}, {}, {}, {});
        EXPECT_EQ(reports.Count(), *report ? 1 : 0);
        EXPECT_PRED_FORMAT2(testing::IsSubstring, report, reports.Last());
        miSim::ClearScenePools();
        // The released buffer's name is free again.
        e = miSim::g_dynamicEntManager.Create(name.c_str());
        if (length < 55) miSim::InitTransform(e->transform, name.c_str(), {}, {}, {}, {});
        EXPECT_EQ(reports.Count(), *report ? 1 : 0);
        miSim::ClearScenePools();
    }
}

TEST_F(Entities, SkyIsNeverCulledAndNeedsItsMaterial)
{
    resources.materials["skybox"] = 4;
    DynamicEnt* sky = miSim::BuildDynamicEnt("sky1", "unitcube", {}, {}, miSim::kEntitySky);
    EXPECT_EQ(sky->type, miSim::kEntitySky);
    EXPECT_EQ(sky->materialId, 4);
    EXPECT_EQ(sky->transform.worldBoundsMin.x, -mirel::kLargestFloat);
    EXPECT_EQ(sky->transform.worldBoundsMax.y, mirel::kLargestFloat);
    miSim::CameraEnt cam;
    miSim::SetPerspective(cam, 0.7855f, 0.01f, 2000.0f, 16, 9);
    EXPECT_NE(miSim::TestBoxAgainstFrustum(cam.planes, sky->transform.worldBoundsMin,
                                           sky->transform.worldBoundsMax),
              miSim::kOutside);

    resources.materials.clear();
    resources.unloadable.insert("skybox");
    mirel::test::ReportCapture reports;
    DynamicEnt* bare = miSim::BuildDynamicEnt("sky2", "unitcube", {}, {}, miSim::kEntitySky);
    EXPECT_EQ(bare->materialId, -1);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Material not found: skybox"), std::string::npos);
}

// Records the simulation calls and what the entities looked like at that moment.
class RecordingSim : public miPhysics::PhysEngRigidBodySim
{
  public:
    void Init() override { log += "init;"; }
    void Shutdown() override { log += "shutdown;"; }
    void Step(float dt) override
    {
        const DynamicEnt* e = miSim::FindDynamicEnt("windmill_blade0");
        log += "step " + std::to_string(dt) + (e && e->transform.dirty ? " dirty;" : " clean;");
    }
    static std::string log;
};
std::string RecordingSim::log;
miPhysics::PhysEngRigidBodySim* MakeRecordingSim()
{
    return new RecordingSim();
}

// Physics steps before the world updates the entities; the main loop orders them by these ranks.
TEST_F(Entities, PhysicsThenWorldInUpdateRankOrder)
{
    EXPECT_LT(miPhysics::g_physicsModule.updateRank, miWorld::g_worldModule.updateRank);
    EXPECT_LT(miWorld::g_worldModule.updateRank, miCamera::g_cameraModule.updateRank);
    EXPECT_LT(miPhysics::g_physicsModule.initRank, miCamera::g_cameraModule.initRank);
    EXPECT_LT(miCamera::g_cameraModule.initRank, miWorld::g_worldModule.initRank);

    RecordingSim::log.clear();
    miPhysics::SetSimulationFactory(MakeRecordingSim);
    miPhysics::g_physicsModule.Init();
    DynamicEnt* blade =
        miSim::BuildDynamicEnt("windmill_blade0", "windmill_blades", {3.8f, 1050.84f, 0}, {0, 0, 0});
    miSim::LightEnt* lamp = miSim::g_lightManager.Create("lamp");
    miSim::ParticleEmitterEnt* smoke = miSim::g_particleEmitterManager.Create("smoke");
    lamp->transform.position = smoke->transform.position = {0, 5, 0};

    // The demo turns the blades, then the update step runs the modules.
    mirel::g_frameTimer.delta = 0.25f;
    blade->transform.rotation.x -= 50.0f * mirel::FrameDelta();
    blade->transform.dirty = 1;
    miPhysics::g_physicsModule.Update();
    miWorld::g_worldModule.Update();
    EXPECT_EQ(RecordingSim::log, "init;step 0.250000 dirty;");
    EXPECT_EQ(blade->transform.dirty, 0);
    EXPECT_NEAR(blade->transform.world.At(1, 2), -std::sin(-12.5f * mirel::kDegToRad), 1e-5f);
    EXPECT_FLOAT_EQ(lamp->transform.world.At(1, 3), 5.0f);
    EXPECT_EQ(smoke->transform.dirty, 1); // emitters have no per-step work

    miPhysics::g_physicsModule.Shutdown();
    EXPECT_EQ(RecordingSim::log, "init;step 0.250000 dirty;shutdown;");
    EXPECT_EQ(miPhysics::g_rigidBodySim, nullptr);
    miPhysics::SetSimulationFactory(nullptr);
    mirel::g_frameTimer.delta = 0.0f;
}

} // namespace
