// Per-frame cost of the scene update: the demo's camera animation, the physics and world steps
// and every camera's matrices, at the demo's scene size and at a hundred times that.
#include "animation.h"
#include "demostate.h"
#include "scene/siment.h"
#include "support/fake_device.h"
#include "input/input.h"
#include "scene/camera.h"

#include <benchmark/benchmark.h>

#include <string>

namespace
{
constexpr float kDt = 1.0f / 60.0f;

// Models with a few metres of bounds and the sky's material, without any device.
mirel::test::FakeDevice& BenchDevice()
{
    static mirel::test::FakeDevice device;
    device.materials["skybox"] = 0;
    device.anyModel = 0;
    device.modelBounds[0] = {-5, 0, -5};
    device.modelBounds[1] = {5, 50, 5};
    return device;
}

// The demo: four cameras, ground, windmill base, turning blades and sky; the orbit camera mode.
void BM_DemoFrame(benchmark::State& state)
{
    miRender::SetDeviceHost(&BenchDevice());
    miCamera::SetOutputSize(1920, 1080);
    miInput::g_inputModule.Init();
    miCamera::g_cameraModule.Init();
    miPhysics::g_physicsModule.Init();
    miSim::CameraEnt* shadow = miSim::g_cameraManager.Create("shadowCam");
    miSim::SetPerspective(*shadow, 0.7855f, 0.01f, 4000.0f, 1920, 1080);
    miSim::BuildDynamicEnt("ground", "ground", {0, 1000, 0}, {0, 0, 0});
    miSim::BuildDynamicEnt("windmill_base0", "windmill_base", {0, 1000, 0}, {0, 0, 0});
    miSim::DynamicEnt* blades =
        miSim::BuildDynamicEnt("windmill_blade0", "windmill_blades", {3.8f, 1050.84f, 0}, {0, 0, 0});
    miSim::BuildDynamicEnt("sky1", "unitcube", {0, 0, 0}, {0, 0, 0}, miSim::kEntitySky);
    miCadora::ResetAnimations();
    miCadora::State().cameraMode = miCadora::kCameraOrbit;
    for (auto _ : state)
    {
        miCadora::UpdateCamera(kDt);
        blades->transform.rotation.x -= 65.0f * kDt;
        blades->transform.dirty = 1;
        miPhysics::g_physicsModule.UpdateStep(kDt);
        miWorld::g_worldModule.Update();
        miCamera::g_cameraModule.UpdateStep(kDt);
        benchmark::DoNotOptimize(miSim::g_cameraManager.AtIndex(0)->planes[0]);
    }
    miPhysics::g_physicsModule.Shutdown();
    miCamera::g_cameraModule.Shutdown();
    miSim::ClearScenePools();
    miRender::SetDeviceHost(nullptr);
}
BENCHMARK(BM_DemoFrame);

// A hundred times the demo: 400 cameras and 400 entities, every one moved each frame.
void BM_HundredfoldFrame(benchmark::State& state)
{
    const int n = 400;
    mirel::ObjectManagerPooled<miSim::CameraEnt> cameras(n + 1);
    mirel::ObjectManagerPooled<miSim::DynamicEnt> entities(n + 1);
    miCamera::SetOutputSize(1920, 1080);
    for (int i = 0; i < n; ++i)
    {
        const std::string name = "obj" + std::to_string(i);
        miSim::SetPerspective(*cameras.Create(name.c_str()), 0.7855f, 0.01f, 2000.0f, 1920, 1080);
        miSim::DynamicEnt* e = entities.Create(name.c_str());
        e->transform.localBoundsMin = {-1, -1, -1};
        e->transform.localBoundsMax = {1, 1, 1};
    }
    float angle = 0.0f;
    for (auto _ : state)
    {
        angle += 0.5f;
        for (int i = 0; i < n; ++i)
        {
            miSim::CameraEnt& c = *cameras.AtIndex(i);
            c.transform.rotation.y = angle + static_cast<float>(i);
            c.transform.dirty = 1;
            miSim::DynamicEnt& e = *entities.AtIndex(i);
            e.transform.rotation.x = angle;
            e.transform.dirty = 1;
        }
        miSim::UpdateAll(entities);
        for (int i = 0; i < n; ++i)
            miSim::UpdateMatrices(*cameras.AtIndex(i));
        benchmark::DoNotOptimize(cameras.AtIndex(0)->planes[0]);
    }
    state.SetItemsProcessed(state.iterations() * 2 * n);
}
BENCHMARK(BM_HundredfoldFrame);

// Culling the demo's entity boxes against the main camera, the per-view gathering's inner test.
void BM_FrustumTest(benchmark::State& state)
{
    miSim::CameraEnt cam;
    miSim::SetPerspective(cam, 0.7855f, 0.01f, 2000.0f, 1920, 1080);
    const mirel::Vec3 lo{-5, -5, -50}, hi{5, 5, -40};
    for (auto _ : state)
        benchmark::DoNotOptimize(miSim::TestBoxAgainstFrustum(cam.planes, lo, hi));
}
BENCHMARK(BM_FrustumTest);
} // namespace
