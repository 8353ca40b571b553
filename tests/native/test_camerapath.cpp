// The camera path file, its sampling, the animators and the demo's camera modes.
#include "animation.h"
#include "camerapath.h"
#include "demostate.h"
#include "core/props.h"
#include "scene/camera.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

namespace
{

using miCadora::CameraPath;
using mirel::Vec3;

void ExpectNear(Vec3 a, Vec3 b, float tol = 1e-3f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

constexpr const char* kBadData = "Bad data in camera animation data";

// The keys of a path file; the reports it makes are counted by the caller.
CameraPath FromText(const std::string& text, bool* clean = nullptr)
{
    mirel::test::TempFile file(text);
    CameraPath path;
    const bool ok = path.Load(file.Path());
    if (clean) *clean = ok;
    return path;
}

TEST(PathFile, KeepsGoodLinesAndReportsTheRest)
{
    const std::string good = "0 1 2 3 4 5\n";
    // What the file shows, its text, the keys kept and the reports made.
    const std::tuple<const char*, std::string, int, int> cases[] = {
        {"empty", "", 0, 1},
        {"blank lines only", "\n  \n\t\n", 0, 1},
        {"one key without newline", "1 2 3 4 5 6", 1, 0},
        {"blank line between keys", "0 1 2 3 4 5\n\n  \n1.5 -1 2e1 3 4 5\r\n", 2, 0},
        {"equal times", good + good, 2, 0},
        {"five numbers", "0 1 2 3 4\n" + good, 1, 1},
        {"seven numbers", good + "1 1 2 3 4 5 6\n", 1, 1},
        {"trailing garbage", good + "1 1 2 3 4 5abc\n", 1, 1},
        {"comma after a number", good + "1 1 2 3 4 5,\n", 1, 1},
        {"word for a number", "0 1 x 3 4 5\n" + good, 1, 1},
        {"not a number", "nan 1 2 3 4 5\n" + good, 1, 1},
        {"out of range", "1e999 1 2 3 4 5\n" + good, 1, 1},
        {"underflow", "1e-999 1 2 3 4 5\n" + good, 1, 1},
        {"lone minus", "- 1 2 3 4 5\n" + good, 1, 1},
        {"time runs backwards", "0 0 0 0 0 0\n2 0 0 0 0 0\n1 0 0 0 0 0\n3 0 0 0 0 0\n", 3, 1},
        {"only bad lines", "a\nb c\n", 0, 2},
        // Cut at the reader's line limit, this line would read as six numbers; the reader's
        // cut is reported too.
        {"overlong line", "0 1 2 3 4 5" + std::string(1100, ' ') + "6\n1 1 1 1 1 1\n", 1, 2},
    };
    for (const auto& [what, content, keys, reportCount] : cases)
    {
        SCOPED_TRACE(what);
        mirel::test::ReportCapture reports;
        bool clean = false;
        EXPECT_EQ(FromText(content, &clean).Count(), keys);
        EXPECT_EQ(clean, reportCount == 0);
        EXPECT_EQ(reports.Count(), reportCount);
        EXPECT_EQ(reports.Last().find(kBadData) != std::string::npos, reportCount > 0) << reports.Last();
    }
}

TEST(ShippedPath, MissingIsReportedAndTheShippedOneFliesOutAndBackFacingTheWindmill)
{
    mirel::SetAssetRoot("/nonexistent-mirel-assets");
    {
        mirel::test::ReportCapture reports;
        miCadora::g_cameraPath.Clear();
        EXPECT_FALSE(miCadora::LoadCameraPath());
        EXPECT_EQ(reports.Count(), 1);
        EXPECT_PRED_FORMAT2(testing::IsSubstring, "Camera animation data file not found", reports.Last());
        EXPECT_EQ(miCadora::g_cameraPath.Count(), 0);
    }
    mirel::SetAssetRoot(MIREL_SOURCE_ASSETS);
    miCadora::g_cameraPath.Clear();
    ASSERT_TRUE(miCadora::LoadCameraPath());
    const CameraPath& path = miCadora::g_cameraPath;
    ASSERT_GE(path.Count(), 20);
    ExpectNear(path.Key(0).Position(), path.Key(path.Count() - 1).Position());
    for (int i = 0; i < path.Count(); ++i)
    {
        const miCadora::CameraKey& k = path.Key(i);
        // Posed through the engine's own transform, the camera must look at the windmill.
        miSim::Transform t;
        t.position = k.Position();
        t.rotation = k.Rotation();
        miSim::UpdateTransform(t, true);
        const Vec3 toHub = mirel::Normalize(Vec3{7.988f, 1040.0f, -2.8f} - k.Position());
        EXPECT_GT(mirel::Dot(-t.world.Column(2), toHub), 0.9995f) << "key " << i;
        const float distance = mirel::Length(Vec3{7.988f, 1051.0f, -2.8f} - k.Position());
        EXPECT_GT(distance, 40.0f);
        EXPECT_LT(distance, 100.0f);
        EXPECT_GT(k.Position().y, 1005.0f); // above the ground
    }
}

// x runs linearly with time, y steps up between the middle keys; yaw crosses +-180.
const char kSampleKeys[] = "0 0 0 0 0 160\n1 10 0 0 10 170\n2 20 10 0 20 -170\n3 30 10 0 30 -150\n";

TEST(PathSampling, KeysBetweenAndEnds)
{
    const CameraPath p = FromText(kSampleKeys);
    Vec3 pos, rot;
    // Time, position and rotation. Between the middle keys the spline's y is
    // 0.5 * (10u + 30u^2 - 20u^3); at u = 0.25 that is 2.03125.
    const std::tuple<float, Vec3, Vec3> cases[] = {{-5, {0, 0, 0}, {0, 160, 0}},
                                                   {0, {0, 0, 0}, {0, 160, 0}},
                                                   {1, {10, 0, 0}, {10, 170, 0}},
                                                   {2, {20, 10, 0}, {20, -170, 0}},
                                                   {1.25f, {12.5f, 2.03125f, 0}, {12.5f, 175, 0}},
                                                   {1.5f, {15, 5, 0}, {15, 180, 0}},
                                                   {3, {30, 10, 0}, {30, -150, 0}},
                                                   {99, {30, 10, 0}, {30, -150, 0}}};
    for (const auto& [t, expectedPos, expectedRot] : cases)
    {
        SCOPED_TRACE(t);
        ASSERT_TRUE(p.Sample(t, pos, rot));
        ExpectNear(pos, expectedPos);
        ExpectNear({rot.x, miSim::WrapDegrees(rot.y), rot.z}, expectedRot);
    }
    EXPECT_FLOAT_EQ(p.LoopTime(4.0f), 1.0f);
    EXPECT_FLOAT_EQ(p.LoopTime(-0.5f), 2.5f);
    EXPECT_FALSE(CameraPath().Sample(0.0f, pos, rot));
    // Keys of equal time: the path cuts to the later one.
    const CameraPath cut = FromText("0 0 0 0 0 0\n1 5 0 0 0 0\n1 50 0 0 0 0\n2 60 0 0 0 0\n");
    ASSERT_TRUE(cut.Sample(1.0f, pos, rot));
    EXPECT_FLOAT_EQ(pos.x, 50.0f);
    ASSERT_TRUE(cut.Sample(0.999f, pos, rot));
    EXPECT_NEAR(pos.x, 5.0f, 0.1f);
}

class CameraModes : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        mirel::ClearProperties();
        cam = miSim::g_cameraManager.Create("mainCamera");
        miSim::SetPerspective(*cam, 0.7855f, 0.01f, 2000.0f, -1, -1);
        miCadora::ResetAnimations();
        miCadora::g_orbitAnim.value = -180.0f;
        miCadora::g_orbitAnim.rate = miCadora::g_swayAnim.rate = -1.0f;
    }
    void TearDown() override
    {
        miSim::g_cameraManager.Clear();
        miCadora::State().cameraMode = miCadora::kCameraFree;
        mirel::ClearProperties();
    }
    // The application's update, then the camera module's.
    void Frame(float dt)
    {
        miCadora::UpdateCamera(dt);
        miSim::UpdateMatrices(*cam);
    }
    miSim::CameraEnt* cam = nullptr;
};

TEST_F(CameraModes, AnimatorsWrapAndReadTheirRateOnce)
{
    miCadora::CircleAnim up(179, 3, -180, 180), down(-179, -3, -180, 180);
    EXPECT_FLOAT_EQ(miCadora::Advance(up, 1.0f), -178.0f);
    EXPECT_FLOAT_EQ(miCadora::Advance(down, 1.0f), 178.0f);
    EXPECT_FLOAT_EQ(up.t, 1.0f);

    miCadora::SinusoidAnim s(0.5f, 30, 120);
    EXPECT_FLOAT_EQ(s.Update(0, 0), 75.0f);
    EXPECT_FLOAT_EQ(miCadora::Advance(s, 0.5f), 120.0f);
    EXPECT_NEAR(miCadora::Advance(s, 1.0f), 30.0f, 1e-3f);
    EXPECT_NEAR(miCadora::Advance(s, 1.0f), 120.0f, 1e-3f); // wrapped past its 2 s period
    mirel::SetPropertyFloat("cadora.anim_1_rate", 0.5f);
    miCadora::SinusoidAnim slow(0.5f, -25, 25);
    EXPECT_NEAR(miCadora::Advance(slow, 1.0f), 25.0f, 1e-3f);
    mirel::SetPropertyFloat("cadora.anim_1_rate", 4.0f);
    EXPECT_NEAR(miCadora::Advance(slow, 0.5f), 25.0f * std::sin(0.75f * 3.14159265f), 1e-3f);
}

TEST_F(CameraModes, OrbitLooksAtTheHubAtHalfRate)
{
    mirel::SetPropertyFloat("cadora.anim_0_rate", 0.5f);
    mirel::SetPropertyFloat("cadora.radius_mult", 1.5f);
    miCadora::SetCameraMode(miCadora::kCameraOrbit);
    EXPECT_FALSE(miCamera::cameraControlEnabled);
    for (int i = 0; i < 60; ++i)
        Frame(1.0f / 60.0f);
    EXPECT_NEAR(miCadora::State().orbit.lastOrbitValue, -160.0f, 1e-2f);
    const Vec3 hub{7.988f, 1051.0f, -2.8f};
    // The hub sits straight ahead in view space, at the scaled radius (not compounded per frame).
    const Vec3 inView = mirel::TransformPoint(cam->view, hub);
    ExpectNear(inView, {0, 0, 90}, 1e-2f);
    const float az = (-160.0f - 1.0f / 6.0f) * mirel::kDegToRad; // the first of the frame's two steps
    ExpectNear(cam->transform.position, {-std::sin(az) * 90 + hub.x, hub.y, -std::cos(az) * 90 + hub.z},
               1e-2f);
}

TEST_F(CameraModes, SwayBacksOffAndSwingsSideways)
{
    mirel::SetPropertyFloat4("camera.start_pos", 40, 55, 0, 0);
    mirel::SetPropertyFloat4("camera.start_rot", -10, 90, 0, 0);
    miCadora::SetCameraMode(miCadora::kCameraSway);
    Frame(0.125f);
    Frame(0.125f);
    const Vec3 back = cam->transform.world.Column(2);
    const Vec3 side = cam->transform.world.Column(0);
    const float sway = miCadora::State().orbit.lastSwayValue;
    // rate 1, freq 0.5: a quarter second in, the sine is an eighth of the way round.
    EXPECT_NEAR(sway, 25.0f * std::sin(0.5f * 0.25f * 6.2831855f), 1e-3f);
    ExpectNear(cam->transform.position, Vec3{40, 1055, 0} + back * 22.0f + side * sway);
    EXPECT_NEAR(cam->transform.rotation.y, 90.0f, 1e-4f);
}

TEST_F(CameraModes, FreeModeResetsAndHandsOverControl)
{
    miCadora::SetCameraMode(miCadora::kCameraFree);
    ExpectNear(cam->transform.position, {54.9f, 53.9f, -61.8f});
    EXPECT_TRUE(miCamera::cameraControlEnabled);
    mirel::SetPropertyFloat4("camera.start_pos", 40, 55, 0, 0);
    mirel::SetPropertyFloat4("camera.start_rot", -10, 90, 0, 0);
    miCadora::SetCameraMode(miCadora::kCameraFree);
    ExpectNear(cam->transform.position, {40, 1055, 0});
    ExpectNear(cam->transform.rotation, {-10, 90, 0});
    const Vec3 before = cam->transform.position;
    Frame(1.0f);
    ExpectNear(cam->transform.position, before);
}

TEST_F(CameraModes, PathModeLoopsThroughTheKeys)
{
    miCadora::g_cameraPath.Clear();
    mirel::test::TempFile file(kSampleKeys);
    ASSERT_TRUE(miCadora::g_cameraPath.Load(file.Path()));
    miCadora::SetCameraMode(miCadora::kCameraPathMode);
    Frame(1.5f);
    ExpectNear(cam->transform.position, {15, 5, 0});
    Frame(2.0f); // 3.5 s: half a second into the second lap
    Vec3 pos, rot;
    miCadora::g_cameraPath.Sample(0.5f, pos, rot);
    ExpectNear(cam->transform.position, pos);
    miCadora::g_cameraPath.Clear();
}

} // namespace
