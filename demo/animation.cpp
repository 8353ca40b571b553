#include "animation.h"

#include "camerapath.h"
#include "demostate.h"
#include "core/props.h"
#include "core/utils.h"
#include "frametimer.h"
#include "scene/camera.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace miCadora
{

using mirel::Vec3;

SinusoidAnim g_swayAnim(0.5f, -25.0f, 25.0f);
CircleAnim g_orbitAnim(-180.0f, 20.0f, -180.0f, 180.0f);

namespace
{
// Reports name the application, which these steps belong to.
constexpr const char* kCadoraFile = "cadora";

// The first three components of a float4 setting, or the fallback when it is absent.
Vec3 SettingOr(const char* name, Vec3 fallback)
{
    const float* f = static_cast<const float*>(mirel::FindProperty(name, false));
    return f ? Vec3{f[0], f[1], f[2]} : fallback;
}

miSim::CameraEnt* MainCamera()
{
    return miSim::FindCamera("mainCamera");
}

// World matrix of a camera at eye looking at centre; false (nothing written) when the
// direction is undefined: eye on the centre, or looking straight along up.
bool LookAtWorld(Vec3 eye, Vec3 centre, Vec3 up, mirel::Mat4& world)
{
    const Vec3 toCentre = centre - eye;
    const Vec3 side = mirel::Cross(toCentre, up);
    if (mirel::Length(toCentre) == 0.0f || mirel::Length(side) == 0.0f) return false;
    const Vec3 f = mirel::Normalize(toCentre);
    const Vec3 r = mirel::Normalize(mirel::Cross(f, up));
    const Vec3 u = mirel::Normalize(mirel::Cross(r, f));
    world = mirel::Mat4{};
    world.SetColumn(0, r);
    world.SetColumn(1, u);
    world.SetColumn(2, -f);
    world.SetColumn(3, eye);
    return true;
}

void UpdateOrbit(miSim::CameraEnt& cam, float dt)
{
    // The angle advances twice per frame; the camera takes the first value.
    OrbitState& orbit = State().orbit;
    const float first = Advance(g_orbitAnim, dt);
    orbit.lastOrbitValue = Advance(g_orbitAnim, dt);
    // Scales the base radius; compounding it every frame would make the distance depend on
    // the frame rate and run off to nothing or past the far plane.
    const float radius = orbit.radius * mirel::GetPropertyFloat("cadora.radius_mult", 1.0f);
    orbit.elevation = orbit.elevationDegrees * mirel::kDegToRad;
    orbit.azimuth = first * mirel::kDegToRad;
    const float ce = std::cos(orbit.elevation);
    const Vec3 centre{kOrbitCentre[0], kOrbitCentre[1], kOrbitCentre[2]};
    const Vec3 eye{-(std::sin(orbit.azimuth) * radius * ce) + centre.x,
                   std::sin(orbit.elevation) * radius + centre.y,
                   -(std::cos(orbit.azimuth) * radius * ce) + centre.z};
    mirel::Mat4 world;
    if (!LookAtWorld(eye, centre, {0.0f, 1.0f, 0.0f}, world)) return;
    miSim::Transform& t = cam.transform;
    t.dirty = 1;
    t.position = eye;
    t.world = world;
    // The camera module keeps this matrix instead of rebuilding it from the rotation.
    t.dirty = 0;
}

void UpdateSway(miSim::CameraEnt& cam, float dt)
{
    OrbitState& orbit = State().orbit;
    orbit.lastSwayValue = Advance(g_swayAnim, dt);
    miSim::Transform& t = cam.transform;
    const Vec3 start = SettingOr("camera.start_pos", {40.0f, 55.0f, 0.0f});
    t.position = {start.x, start.y + 1000.0f, start.z};
    t.rotation = SettingOr("camera.start_rot", {-10.0f, 90.0f, 0.0f});
    // Back off along the view axis and sway sideways, in last frame's camera frame.
    t.position += t.world.Column(2) * 22.0f;
    t.dirty = 1;
    t.position += t.world.Column(0) * orbit.lastSwayValue;
    t.dirty = 1;
}

void UpdatePath(miSim::CameraEnt& cam, float dt)
{
    float& pathClock = State().pathClock;
    pathClock += dt;
    Vec3 position, rotation;
    if (!g_cameraPath.Sample(g_cameraPath.LoopTime(pathClock), position, rotation)) return;
    cam.transform.position = position;
    cam.transform.rotation = rotation;
    cam.transform.dirty = 1;
}
} // namespace

float AnimRate(int index)
{
    char name[64];
    std::snprintf(name, sizeof name, "cadora.anim_%d_rate", index);
    return mirel::GetPropertyFloat(name, 1.0f);
}

float Advance(FloatAnim& anim, float dt)
{
    anim.t += dt;
    return anim.Update(anim.t, dt);
}

float SinusoidAnim::Update(float, float)
{
    if (rate < 0.0f) rate = AnimRate(1);
    const float period = 1.0f / (freq * rate);
    if (t > period) t -= period;
    const float angle = freq * t * 6.2831855f * rate;
    const float half = std::fabs(maxValue - minValue) * 0.5f;
    const float v = static_cast<float>(std::sin(static_cast<double>(angle)) * static_cast<double>(half) +
                                       (static_cast<double>(half) + static_cast<double>(minValue)));
    if (v > maxValue) return maxValue;
    if (v < minValue) return minValue;
    return v;
}

float CircleAnim::Update(float, float dt)
{
    if (rate < 0.0f) rate = AnimRate(0);
    value += dt * speed * rate;
    if (value > maxValue) value = value - maxValue + minValue;
    if (value < minValue) value = maxValue - (minValue - value);
    if (value > maxValue) value = maxValue;
    if (value < minValue) value = minValue;
    return value;
}

void ResetAnimations()
{
    State().orbit = OrbitState{};
    g_orbitAnim.Reset();
    g_swayAnim.Reset();
    State().pathClock = 0.0f;
}

void ResetCamera()
{
    miSim::CameraEnt* cam = MainCamera();
    mirel::Assert(cam != nullptr, kCadoraFile, __LINE__, "Main camera not found");
    if (!cam) return;
    cam->transform.position = {54.9f, 53.9f, -61.8f};
    if (const float* p = static_cast<const float*>(mirel::FindProperty("camera.start_pos", false)))
        cam->transform.position = {p[0], p[1] + 1000.0f, p[2]};
    cam->transform.rotation = SettingOr("camera.start_rot", {-9.6f, 150.0f, 0.0f});
    cam->transform.dirty = 1;
    miCamera::cameraControlEnabled = true;
}

void SetCameraMode(int32_t mode)
{
    if (mode < kCameraOrbit || mode > kCameraPathMode) return;
    State().cameraMode = mode;
    if (mode == kCameraFree)
    {
        ResetCamera();
        return;
    }
    miCamera::cameraControlEnabled = false;
    if (mode == kCameraPathMode) State().pathClock = 0.0f;
}

void UpdateCamera()
{
    UpdateCamera(mirel::FrameDelta());
}

void UpdateCamera(float dt)
{
    const int32_t cameraMode = State().cameraMode;
    if (cameraMode == kCameraFree) return;
    miSim::CameraEnt* cam = MainCamera();
    if (!cam) return;
    if (cameraMode == kCameraOrbit)
        UpdateOrbit(*cam, dt);
    else if (cameraMode == kCameraSway)
        UpdateSway(*cam, dt);
    else if (cameraMode == kCameraPathMode)
        UpdatePath(*cam, dt);
}

} // namespace miCadora
