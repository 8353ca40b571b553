// Transforms, projections, frustum tests and the flown camera, driven through the input module.
#include "core/props.h"
#include "frametimer.h"
#include "input/input.h"
#include "scene/camera.h"
#include "support/scripted_input.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

namespace
{

using mirel::Mat4;
using mirel::Vec3;
using mirel::Vec4;
using miSim::CameraEnt;

void ExpectNear(Vec3 a, Vec3 b, float tol = 1e-4f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

// Expected images worked out by hand from the single-axis rotations; the mixed cases only
// come out right when X is applied first, then Y, then Z.
TEST(Transform, WorldMatrixMapsPointAndViewUndoesIt)
{
    // Position, rotation, a local point and its world image.
    const std::tuple<Vec3, Vec3, Vec3, Vec3> cases[] = {
        {{0, 0, 0}, {90, 0, 0}, {0, 1, 0}, {0, 0, 1}},    {{0, 0, 0}, {0, 90, 0}, {0, 0, 1}, {1, 0, 0}},
        {{0, 0, 0}, {0, 0, 90}, {1, 0, 0}, {0, 1, 0}},    {{1, 2, 3}, {0, 90, 0}, {0, 0, -1}, {0, 2, 3}},
        {{0, 0, 0}, {90, 90, 0}, {0, 1, 0}, {1, 0, 0}},   {{0, 0, 0}, {0, 90, 90}, {0, 1, 0}, {-1, 0, 0}},
        {{5, -1, 2}, {90, 0, 90}, {0, 0, 1}, {6, -1, 2}},
    };
    for (const auto& [position, rotation, point, expected] : cases)
    {
        miSim::Transform t;
        t.position = position;
        t.rotation = rotation;
        miSim::UpdateTransform(t, false);
        ExpectNear(mirel::TransformPoint(t.world, point), expected);
        EXPECT_EQ(t.dirty, 0);
        EXPECT_EQ(t.boundsUpdated, 1);
        // The view undoes the world pose and flips Z so that the camera's -Z looks down +Z.
        Mat4 flip;
        flip.At(2, 2) = -1.0f;
        const Mat4 vw = miSim::ViewFromWorld(t.world, t.position) * t.world;
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(vw.m[i], flip.m[i], 1e-4f);
    }
}

TEST(Transform, WrapsPitchAndYawButNotRollAndKeepsACleanTransformUnlessForced)
{
    const float cases[][2] = {{190, -170}, {-180, 180}, {180, 180},      {540, 180},
                              {-190, 170}, {360, 0},    {-720.5f, -0.5f}};
    for (const auto& c : cases)
        EXPECT_NEAR(miSim::WrapDegrees(c[0]), c[1], 1e-4f) << c[0];
    miSim::Transform t;
    t.rotation = {190, -180, 400};
    miSim::UpdateTransform(t, false);
    EXPECT_FLOAT_EQ(t.rotation.x, -170);
    EXPECT_FLOAT_EQ(t.rotation.y, 180);
    EXPECT_FLOAT_EQ(t.rotation.z, 400);
    t.position = {4, 0, 0};
    miSim::UpdateTransform(t, false);
    EXPECT_FLOAT_EQ(t.world.At(0, 3), 0.0f);
    miSim::UpdateTransform(t, true);
    EXPECT_FLOAT_EQ(t.world.At(0, 3), 4.0f);
}

TEST(Transform, WorldBoxEnclosesRotatedLocalBox)
{
    miSim::Transform t;
    t.localBoundsMin = {-1, -2, -1};
    t.localBoundsMax = {1, 2, 1};
    t.position = {10, 0, 0};
    t.rotation = {0, 45, 0};
    miSim::UpdateTransform(t, false);
    const float r = std::sqrt(2.0f);
    ExpectNear(t.worldBoundsMin, {10 - r, -2, -r});
    ExpectNear(t.worldBoundsMax, {10 + r, 2, r});
}

// Camera-space points through projection * view into normalised device coordinates.
Vec3 Ndc(const CameraEnt& cam, Vec3 world)
{
    const Vec4 c = mirel::TransformVec4(cam.projection * cam.view, {world.x, world.y, world.z, 1.0f});
    return {c.x / c.w, c.y / c.w, c.z / c.w};
}

class CameraTest : public ::testing::Test
{
  protected:
    void SetUp() override { miCamera::SetOutputSize(-1, -1); }
    void TearDown() override { miCamera::SetOutputSize(-1, -1); }
};

// Near and far map to depth 0 and 1, the frustum's edges to the clip bounds. A camera of unknown
// size is square until the output size is known.
TEST_F(CameraTest, PerspectiveMapsFrustumEdgesToClipBoundsAtTheOutputsAspect)
{
    CameraEnt cam;
    const float fov = 0.7855f, n = 0.01f, f = 2000.0f;
    miSim::SetPerspective(cam, fov, n, f, -1, -1);
    EXPECT_FLOAT_EQ(cam.aspect, 1.0f);
    miCamera::SetOutputSize(1920, 1080);
    miSim::UpdateMatrices(cam);
    EXPECT_EQ(cam.width, 1920);
    EXPECT_EQ(cam.height, 1080);
    const float t = std::tan(fov / 2), a = 1920.0f / 1080.0f;
    EXPECT_FLOAT_EQ(cam.aspect, a);
    ExpectNear(Ndc(cam, {0, 0, -n}), {0, 0, 0});
    ExpectNear(Ndc(cam, {0, 0, -f}), {0, 0, 1}, 1e-3f);
    ExpectNear(Ndc(cam, {t * a * 50, t * 50, -50}), {1, 1, Ndc(cam, {0, 0, -50}).z});
    ExpectNear(Ndc(cam, {-t * a * 50, -t * 50, -50}), {-1, -1, Ndc(cam, {0, 0, -50}).z});
}

TEST_F(CameraTest, OrthographicLastsUntilOutputSizeChanges)
{
    miCamera::SetOutputSize(800, 600);
    CameraEnt cam;
    miSim::SetPerspective(cam, 0.7855f, 1.0f, 101.0f, 800, 600);
    miSim::SetOrthographic(cam, 100, 50);
    miSim::UpdateMatrices(cam);
    const Mat4& p = cam.projection;
    EXPECT_EQ((std::array<float, 6>{p.At(0, 0), p.At(1, 1), p.At(2, 2), p.At(2, 3), p.At(3, 2), p.At(3, 3)}),
              (std::array<float, 6>{0.02f, 0.04f, 0.01f, -0.01f, 0, 1}));
    // A new output size makes it a perspective camera again.
    miCamera::SetOutputSize(1024, 600);
    miSim::UpdateMatrices(cam);
    EXPECT_EQ((std::array<float, 2>{p.At(3, 2), p.At(3, 3)}), (std::array<float, 2>{1, 0}));
}

// A 90-degree square frustum at the origin looking down -Z, near 1 and far 100: each side
// plane is |x| = -z or |y| = -z.
TEST_F(CameraTest, FrustumClassifiesBoxesAgainstEachPlane)
{
    CameraEnt cam;
    miSim::SetPerspective(cam, 1.5707964f, 1.0f, 100.0f, 100, 100);
    for (const Vec4& p : cam.planes)
        EXPECT_NEAR(p.x * p.x + p.y * p.y + p.z * p.z, 1.0f, 1e-5f);
    const int in = miSim::kInside, out = miSim::kOutside, cut = miSim::kIntersecting;
    const std::tuple<const char*, Vec3, Vec3, int> cases[] = {
        {"inside", {-1, -1, -20}, {1, 1, -10}, in},
        {"behind near", {-1, -1, -0.9f}, {1, 1, 5}, out},
        {"straddles near", {-1, -1, -2}, {1, 1, 0}, cut},
        {"beyond far", {-1, -1, -150}, {1, 1, -101}, out},
        {"straddles far", {-1, -1, -120}, {1, 1, -90}, cut},
        {"left of left", {-30, -1, -11}, {-20, 1, -10}, out},
        {"straddles left", {-12, -1, -11}, {-8, 1, -10}, cut},
        {"right of right", {20, -1, -11}, {30, 1, -10}, out},
        {"straddles right", {8, -1, -11}, {12, 1, -10}, cut},
        {"above top", {-1, 20, -11}, {1, 30, -10}, out},
        {"straddles top", {-1, 8, -11}, {1, 12, -10}, cut},
        {"below bottom", {-1, -30, -11}, {1, -20, -10}, out},
        {"straddles bottom", {-1, -12, -11}, {1, -8, -10}, cut},
        {"encloses frustum", {-500, -500, -500}, {500, 500, 500}, cut}};
    for (const auto& [what, lo, hi, expected] : cases)
        EXPECT_EQ(miSim::TestBoxAgainstFrustum(cam.planes, lo, hi), expected) << what;
}

TEST_F(CameraTest, FrustumFollowsCameraPoseAndCornersLieOnItsPlanes)
{
    CameraEnt cam;
    cam.transform.position = {0, 1000, 0};
    cam.transform.rotation = {0, 90, 0}; // looks down -X
    miSim::SetPerspective(cam, 1.5707964f, 1.0f, 100.0f, 200, 100);
    EXPECT_EQ(miSim::TestBoxAgainstFrustum(cam.planes, {-20, 999, -1}, {-10, 1001, 1}), miSim::kInside);
    EXPECT_EQ(miSim::TestBoxAgainstFrustum(cam.planes, {-1, 999, -20}, {1, 1001, -10}), miSim::kOutside);

    Vec3 corners[8];
    miSim::GetFrustumCorners(cam, corners);
    // Near corners at x = -1, far ones at x = -100; half height = distance, half width twice it.
    const Vec3 expected[8] = {{-1, 1001, 2},     {-1, 1001, -2},     {-1, 999, -2},     {-1, 999, 2},
                              {-100, 1100, 200}, {-100, 1100, -200}, {-100, 900, -200}, {-100, 900, 200}};
    for (int i = 0; i < 8; ++i)
        ExpectNear(corners[i], expected[i], 1e-2f);
}

class CameraControls : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        mirel::ClearProperties();
        mirel::SetPropertyFloat("camera.translate_speed", 100);
        mirel::SetPropertyFloat("camera.rotate_speed", 200);
        mirel::SetPropertyFloat4("render_init.sunDirection", -72, 35, 0, 0);
        input.cursorX = input.cursorY = 500; // inside the window whichever way the hand moves
        miInput::SetInputPlatform(&input);
        miInput::ClearMouseListeners();
        miInput::g_inputModule.Init();
        const char* cycle[3] = {"mainCamera", "sunCamera", "shadowCam"};
        std::copy(cycle, cycle + 3, miCamera::g_cameraModule.cycleNames);
        miCamera::g_cameraModule.Init();
        cam = miSim::FindCamera("mainCamera");
        ASSERT_NE(cam, nullptr);
        miCamera::g_cameraModule.UpdateStep(0.0f);
    }
    void TearDown() override
    {
        miCamera::g_cameraModule.Shutdown();
        miInput::SetInputPlatform(nullptr);
        mirel::ClearProperties();
    }
    // One frame of the engine's order: frame time, input poll, camera module.
    void Frame(float dt)
    {
        mirel::g_frameTimer.delta = dt;
        miInput::g_inputModule.Update();
        miCamera::g_cameraModule.Update();
    }

    mirel::test::ScriptedInput input;
    CameraEnt* cam = nullptr;
};

class FrameRates : public CameraControls, public ::testing::WithParamInterface<int>
{
};

// One second each of keys, mouse and pad: amounts per second of frame time at any frame rate.
TEST_P(FrameRates, ControlsMoveByAmountsPerSecond)
{
    const int fps = GetParam();
    const float dt = 1.0f / static_cast<float>(fps);

    input.held['W'] = input.held['D'] = true;
    for (int i = 0; i < fps; ++i)
        Frame(dt);
    input.held.clear();
    ExpectNear(cam->transform.position, {100, 0, -100}, 0.05f);

    // The hand moves the mouse 30 pixels right and 15 up in that second, the left button down.
    input.MoveCursor(0, 0);
    miInput::OnMouseMessage(0x0201);
    for (int i = 0; i < fps; ++i)
    {
        input.MoveCursor(30.0f / fps, -15.0f / fps);
        Frame(dt);
    }
    miInput::OnMouseMessage(0x0202);
    const float perPixel = 200.0f / 60.0f;
    EXPECT_NEAR(cam->transform.rotation.y, -30 * perPixel, 0.05f);
    EXPECT_NEAR(cam->transform.rotation.x, 15 * perPixel, 0.05f);

    // Left stick full forward flies along the new view direction; right stick half right turns.
    const Vec3 before = cam->transform.position;
    const Vec3 forward = -cam->transform.world.Column(2);
    input.pad.thumbLY = 32767;
    for (int i = 0; i < fps; ++i)
        Frame(dt);
    ExpectNear(cam->transform.position, before + forward * 100.0f, 0.05f);
    input.pad = miInput::RawPad{};
    input.pad.thumbRX = 16384;
    const float yaw = cam->transform.rotation.y;
    for (int i = 0; i < fps; ++i)
        Frame(dt);
    EXPECT_NEAR(cam->transform.rotation.y, miSim::WrapDegrees(yaw - 200.0f * 16384 / 32767), 0.05f);
}

INSTANTIATE_TEST_SUITE_P(Fps, FrameRates, ::testing::Values(30, 144));

TEST_F(CameraControls, MouseJumpsAreIgnoredAndMiddleButtonLifts)
{
    input.MoveCursor(0, 0);
    miInput::OnMouseMessage(0x0201);
    input.MoveCursor(151, 0);
    Frame(0.016f);
    EXPECT_FLOAT_EQ(cam->transform.rotation.y, 0.0f);
    miInput::OnMouseMessage(0x0202);
    miInput::OnMouseMessage(0x0207);
    input.MoveCursor(0, 2);
    Frame(0.016f);
    EXPECT_NEAR(cam->transform.position.y, -2 * 100 * 100 / 60.0f, 1e-2f);
    input.MoveCursor(0, -200);
    Frame(0.016f);
    EXPECT_NEAR(cam->transform.position.y, -2 * 100 * 100 / 60.0f, 1e-2f);
}

// Disabled, the controls do nothing; enabled again they fly the main camera by its handle, which
// the release of another camera (moving the pool's objects) does not change.
TEST_F(CameraControls, DisabledControlsDoNothingAndControlSurvivesTheReleaseOfAnotherCamera)
{
    miCamera::cameraControlEnabled = false;
    input.held['W'] = true;
    input.pad.thumbLY = 32767;
    miInput::Keyboard().keyState[static_cast<unsigned char>('Z')] = 1;
    Frame(0.5f);
    ExpectNear(cam->transform.position, {0, 0, 0});
    EXPECT_EQ(miCamera::ControlledCamera(), cam);
    miCamera::cameraControlEnabled = true;
    input.pad = miInput::RawPad{};
    miSim::g_cameraManager.Release(miSim::FindCamera("testCamera")->handle);
    miSim::g_cameraManager.ProcessPendingReleases();
    Frame(0.1f);
    EXPECT_NEAR(miSim::FindCamera("mainCamera")->transform.position.z, -10.0f, 1e-3f);
}

// The standard cameras, the sun posed from its setting, and Z cycling through them.
TEST_F(CameraControls, ZCyclesThroughStandardCameras)
{
    auto pressZ = [&]
    {
        miInput::Keyboard().keyState[static_cast<unsigned char>('Z')] = 1;
        Frame(0.016f);
    };
    auto expectCycle = [&](std::initializer_list<const char*> names)
    {
        for (const char* name : names)
        {
            pressZ();
            EXPECT_EQ(miCamera::ControlledCamera(), miSim::FindCamera(name)) << name;
        }
    };
    const CameraEnt* sun = miSim::FindCamera("sunCamera");
    ASSERT_NE(sun, nullptr);
    ExpectNear(sun->transform.rotation, {-72, 35, 0});
    EXPECT_EQ(sun->transform.dirty, 0);
    EXPECT_EQ(miCamera::ControlledCamera(), cam);
    EXPECT_EQ(miSim::g_mainCameraHandle, cam->handle);
    mirel::test::ReportCapture reports;
    // The missing third camera is reported and the current one stays in control.
    expectCycle({"sunCamera", "sunCamera", "mainCamera"});
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Camera not found:shadowCam"), std::string::npos);
    miSim::SetPerspective(*miSim::g_cameraManager.Create("shadowCam"), 0.7855f, 0.01f, 4000.0f, -1, -1);
    expectCycle({"sunCamera", "shadowCam", "mainCamera"});
    // Held W now flies the controlled camera only.
    pressZ();
    input.held['W'] = true;
    Frame(0.1f);
    // The sun camera looks 72 degrees down.
    EXPECT_NEAR(miSim::FindCamera("sunCamera")->transform.position.y, 10 * std::sin(-72 * mirel::kDegToRad),
                1e-3f);
    EXPECT_NEAR(mirel::Length(miSim::FindCamera("sunCamera")->transform.position), 10.0f, 1e-3f);
    ExpectNear(miSim::FindCamera("mainCamera")->transform.position, {0, 0, 0});
}

} // namespace
