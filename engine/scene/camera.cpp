#include "scene/camera.h"

#include "core/props.h"
#include "core/utils.h"
#include "frametimer.h"

#include <chrono>
#include <cmath>
#include <cstring>

namespace miPhysics
{
struct RigidBody
{
};
void FreeBody(RigidBody* body)
{
    delete body;
}
} // namespace miPhysics

namespace miSim
{

using mirel::Mat4;
using mirel::Vec3;
using mirel::Vec4;

namespace
{
constexpr float kL = mirel::kLargestFloat;

float Clamp(float v, float lo, float hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}
} // namespace

mirel::ObjectManagerPooled<CameraEnt> g_cameraManager(kCameraCapacity);
int32_t g_mainCameraHandle = -1;

float WrapDegrees(float x)
{
    if (x >= 0.0f)
    {
        float r = std::fmod(x, 360.0f);
        return r > 180.0f ? r - 360.0f : r;
    }
    float r = std::fmod(x, -360.0f);
    return r <= -180.0f ? r + 360.0f : r;
}

void TransformBounds(const Mat4& m, const Vec3& lo, const Vec3& hi, Vec3& outMin, Vec3& outMax)
{
    outMin = {kL, kL, kL};
    outMax = {-kL, -kL, -kL};
    for (int c = 0; c < 8; ++c)
    {
        const Vec3 corner{(c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z};
        Vec3 p = mirel::TransformPoint(m, corner);
        // Boxes spanning the whole float range (never-culled objects) would overflow to inf.
        p = {Clamp(p.x, -kL, kL), Clamp(p.y, -kL, kL), Clamp(p.z, -kL, kL)};
        outMin = {std::fmin(outMin.x, p.x), std::fmin(outMin.y, p.y), std::fmin(outMin.z, p.z)};
        outMax = {std::fmax(outMax.x, p.x), std::fmax(outMax.y, p.y), std::fmax(outMax.z, p.z)};
    }
}

void UpdateTransform(Transform& t, bool force)
{
    if (!t.dirty && !force) return;
    t.rotation.x = WrapDegrees(t.rotation.x);
    t.rotation.y = WrapDegrees(t.rotation.y);
    const Mat4 r =
        mirel::RotationZ(t.rotation.z) * mirel::RotationY(t.rotation.y) * mirel::RotationX(t.rotation.x);
    t.world = mirel::Translation(t.position) * r;
    TransformBounds(t.world, t.localBoundsMin, t.localBoundsMax, t.worldBoundsMin, t.worldBoundsMax);
    t.boundsUpdated = 1;
    t.dirty = 0;
}

void CameraEnt::ResetFields()
{
    miPhysics::FreeBody(transform.body);
    transform = Transform{};
    fovY = 0.7855f;
    aspect = 1.0f;
    view = Mat4{};
    projection = Mat4{};
    nearZ = 0.01f;
    farZ = 2000.0f;
    width = height = -1;
    for (Vec4& p : planes)
        p = Vec4{};
}

CameraEnt* FindCamera(const char* name)
{
    return g_cameraManager.Find(name);
}

Mat4 PerspectiveMatrix(float fovY, float aspect, float nearZ, float farZ)
{
    const float t = std::tan(fovY * 0.5f);
    Mat4 p;
    p.m[0] = 1.0f / (t * aspect);
    p.m[5] = 1.0f / t;
    p.m[10] = farZ / (farZ - nearZ);
    p.m[11] = -nearZ * farZ / (farZ - nearZ);
    p.m[14] = 1.0f;
    p.m[15] = 0.0f;
    return p;
}

Mat4 OrthographicMatrix(float width, float height, float nearZ, float farZ)
{
    Mat4 p;
    p.m[0] = 2.0f / width;
    p.m[5] = 2.0f / height;
    p.m[10] = 1.0f / (farZ - nearZ);
    p.m[11] = nearZ / (nearZ - farZ);
    return p;
}

Mat4 ViewFromWorld(const Mat4& world, const Vec3& position)
{
    Mat4 basis;
    for (int r = 0; r < 3; ++r)
    {
        basis.At(r, 0) = world.At(r, 0);
        basis.At(r, 1) = world.At(r, 1);
        basis.At(r, 2) = -world.At(r, 2);
    }
    return mirel::Transpose(basis) * mirel::Translation(-position);
}

void SetPerspective(CameraEnt& camera, float fovY, float nearZ, float farZ, int32_t width, int32_t height)
{
    camera.fovY = fovY;
    camera.nearZ = nearZ;
    camera.farZ = farZ;
    camera.width = width;
    camera.height = height;
    // A zero height (a minimised window) has no shape; keep a square one rather than inf.
    camera.aspect = height != 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
    camera.projection = PerspectiveMatrix(fovY, camera.aspect, nearZ, farZ);
    UpdateMatrices(camera);
}

void SetOrthographic(CameraEnt& camera, float width, float height)
{
    camera.projection = OrthographicMatrix(width, height, camera.nearZ, camera.farZ);
}

void UpdateMatrices(CameraEnt& camera)
{
    UpdateTransform(camera.transform, false);
    const int32_t ow = miCamera::OutputWidth(), oh = miCamera::OutputHeight();
    if (ow > 0 && oh > 0 && (camera.width != ow || camera.height != oh))
    {
        // Rebuilds the projection for the new size and comes back here once.
        SetPerspective(camera, camera.fovY, camera.nearZ, camera.farZ, ow, oh);
        return;
    }
    camera.view = ViewFromWorld(camera.transform.world, camera.transform.position);
    const Mat4 vp = camera.projection * camera.view;
    const Vec4 r0 = vp.Row(0), r1 = vp.Row(1), r2 = vp.Row(2), r3 = vp.Row(3);
    auto add = [](Vec4 a, Vec4 b) { return Vec4{a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; };
    auto sub = [](Vec4 a, Vec4 b) { return Vec4{a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; };
    const Vec4 q[kPlaneCount] = {add(r3, r0), sub(r3, r0), sub(r3, r1), add(r3, r1), r2, sub(r3, r2)};
    for (int i = 0; i < kPlaneCount; ++i)
    {
        Vec4 p{-q[i].x, -q[i].y, -q[i].z, q[i].w};
        const float len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        if (len > 0.0f) p = {p.x / len, p.y / len, p.z / len, p.w / len};
        camera.planes[i] = p;
    }
}

void GetFrustumCorners(const CameraEnt& camera, Vec3 out[8])
{
    const float h = std::tan(camera.fovY * 0.5f) * camera.nearZ;
    const float w = h * camera.aspect;
    const Vec3 nearCorners[4] = {
        {-w, h, -camera.nearZ}, {w, h, -camera.nearZ}, {w, -h, -camera.nearZ}, {-w, -h, -camera.nearZ}};
    const float scale = camera.farZ / -mirel::Normalize(nearCorners[0]).z;
    for (int i = 0; i < 4; ++i)
    {
        out[i] = mirel::TransformPoint(camera.transform.world, nearCorners[i]);
        out[i + 4] = mirel::TransformPoint(camera.transform.world, mirel::Normalize(nearCorners[i]) * scale);
    }
}

int TestBoxAgainstFrustum(const Vec4 planes[kPlaneCount], const Vec3& lo, const Vec3& hi)
{
    bool intersecting = false;
    for (int i = 0; i < kPlaneCount; ++i)
    {
        const Vec4& p = planes[i];
        const Vec3 n{p.x, p.y, p.z};
        const Vec3 against{n.x >= 0 ? lo.x : hi.x, n.y >= 0 ? lo.y : hi.y, n.z >= 0 ? lo.z : hi.z};
        if (mirel::Dot(n, against) - p.w > 0.0f) return kOutside;
        const Vec3 along{n.x >= 0 ? hi.x : lo.x, n.y >= 0 ? hi.y : lo.y, n.z >= 0 ? hi.z : lo.z};
        if (mirel::Dot(n, along) - p.w >= 0.0f) intersecting = true;
    }
    return intersecting ? kIntersecting : kInside;
}

} // namespace miSim

namespace miCamera
{

using mirel::Vec3;
using miSim::CameraEnt;

bool cameraControlEnabled = false;
CameraModule g_cameraModule;

namespace
{
// Reports keep the name this module had before the scene got its own folder.
constexpr const char* kCameraFile = "render/camera";

int32_t g_outputWidth = -1;
int32_t g_outputHeight = -1;
// A handle, not a pointer: releasing another camera moves the pooled objects.
int32_t g_controlledHandle = -1;
int32_t g_cycleIndex = 0;

float TranslateSpeed()
{
    return mirel::GetPropertyFloat("camera.translate_speed", 100.0f);
}
float RotateSpeed()
{
    return mirel::GetPropertyFloat("camera.rotate_speed", 200.0f);
}

void KeyForward()
{
    MoveControlled(1.0f, 0.0f, mirel::FrameDelta());
}
void KeyBack()
{
    MoveControlled(-1.0f, 0.0f, mirel::FrameDelta());
}
void KeyLeft()
{
    MoveControlled(0.0f, -1.0f, mirel::FrameDelta());
}
void KeyRight()
{
    MoveControlled(0.0f, 1.0f, mirel::FrameDelta());
}

void RegisterHeld(char key, void (*callback)())
{
    miInput::KeyBinding b;
    b.key = key;
    b.repeatWhileHeld = 1;
    b.callback = callback;
    miInput::RegisterKey(b);
}

CameraEnt* MakeCamera(const char* name, float farZ)
{
    CameraEnt* cam = miSim::g_cameraManager.Create(name);
    if (cam) miSim::SetPerspective(*cam, 0.7855f, 0.01f, farZ, -1, -1);
    return cam;
}
} // namespace

void SetOutputSize(int32_t width, int32_t height)
{
    g_outputWidth = width;
    g_outputHeight = height;
}
int32_t OutputWidth()
{
    return g_outputWidth;
}
int32_t OutputHeight()
{
    return g_outputHeight;
}

CameraEnt* ControlledCamera()
{
    return miSim::g_cameraManager.FromHandle(g_controlledHandle);
}

void SetControlledCamera(const char* name)
{
    CameraEnt* cam = miSim::FindCamera(name);
    mirel::Assert(cam != nullptr, kCameraFile, __LINE__, "Camera not found:%s", name ? name : "");
    if (cam) g_controlledHandle = cam->handle;
}

void CycleControlledCamera()
{
    if (!cameraControlEnabled) return;
    g_cycleIndex = (g_cycleIndex + 1) % 3;
    // A missing camera is reported and the current one stays in control.
    SetControlledCamera(g_cameraModule.cycleNames[g_cycleIndex]);
}

int32_t CameraCycleIndex()
{
    return g_cycleIndex;
}

void MoveControlled(float forward, float right, float dt)
{
    if (!cameraControlEnabled) return;
    CameraEnt* cam = ControlledCamera();
    if (!cam) return;
    const float step = dt * TranslateSpeed();
    miSim::Transform& t = cam->transform;
    t.position -= t.world.Column(2) * (forward * step);
    t.position += t.world.Column(0) * (right * step);
    t.dirty = 1;
}

void ApplyMouseMove(const miInput::MouseEvent& e)
{
    if (!cameraControlEnabled) return;
    if (std::fabs(e.dx) > kMouseJumpPixels || std::fabs(e.dy) > kMouseJumpPixels) return;
    CameraEnt* cam = ControlledCamera();
    if (!cam) return;
    miSim::Transform& t = cam->transform;
    if (e.leftDown)
    {
        const float perPixel = kMouseReferenceSeconds * RotateSpeed();
        t.rotation.x -= perPixel * e.dy;
        t.rotation.y -= perPixel * e.dx;
        t.dirty = 1;
    }
    else if (e.middleDown)
    {
        t.position.y -= 100.0f * kMouseReferenceSeconds * TranslateSpeed() * e.dy;
        t.dirty = 1;
    }
}

void ApplyGamepad(const miInput::GamepadState& pad, float dt)
{
    if (!cameraControlEnabled || !pad.connected) return;
    // The input layer already zeroes sticks inside their dead zone.
    if (pad.leftStick[0] != 0.0f || pad.leftStick[1] != 0.0f)
        MoveControlled(pad.leftStick[1], pad.leftStick[0], dt);
    if (pad.rightStick[0] != 0.0f || pad.rightStick[1] != 0.0f)
    {
        CameraEnt* cam = ControlledCamera();
        if (!cam) return;
        // Same senses as the mouse: the stick's vertical axis arrives inverted, like a cursor's.
        const float step = dt * RotateSpeed();
        cam->transform.rotation.x -= step * pad.rightStick[1];
        cam->transform.rotation.y -= step * pad.rightStick[0];
        cam->transform.dirty = 1;
    }
}

void CameraModule::Init()
{
    cameraControlEnabled = true;
    MakeCamera("testCamera", 10.0f);

    float sun[4] = {0, 0, 0, 0};
    if (const void* slot = mirel::FindProperty("render_init.sunDirection", false))
        std::memcpy(sun, slot, sizeof sun);
    if (CameraEnt* cam = MakeCamera("sunCamera", 2000.0f))
    {
        cam->transform.rotation = {sun[0], sun[1], 0.0f};
        cam->transform.dirty = 1;
        miSim::UpdateTransform(cam->transform, false);
    }
    CameraEnt* mainCam = MakeCamera("mainCamera", 2000.0f);
    miSim::g_mainCameraHandle = mainCam ? mainCam->handle : -1;

    RegisterHeld('W', KeyForward);
    RegisterHeld('S', KeyBack);
    RegisterHeld('A', KeyLeft);
    RegisterHeld('D', KeyRight);
    miInput::KeyBinding cycle;
    cycle.key = 'Z';
    cycle.callback = CycleControlledCamera;
    miInput::RegisterKey(cycle);
    miInput::RegisterMouseListener(miInput::kMouseMove, ApplyMouseMove);

    g_controlledHandle = miSim::g_mainCameraHandle;
    g_cycleIndex = 0;
}

void CameraModule::Shutdown()
{
    mirel::sys::ScopedLock lock(miSim::g_cameraManager.cs);
    miSim::g_cameraManager.Clear();
    miSim::g_mainCameraHandle = -1;
    g_controlledHandle = -1;
}

void CameraModule::Update()
{
    UpdateStep(mirel::FrameDelta());
}

namespace
{
// Automated runs judge the controls from where the controlled camera goes: at most one line a
// second, and only when it moved or turned.
void TraceControlledCamera()
{
    static auto last = std::chrono::steady_clock::now();
    static mirel::Vec3 seenPosition{}, seenRotation{};
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::seconds(1)) return;
    last = now;
    const CameraEnt* cam = ControlledCamera();
    if (!cam) return;
    const miSim::Transform& t = cam->transform;
    if (std::memcmp(&t.position, &seenPosition, sizeof seenPosition) == 0 &&
        std::memcmp(&t.rotation, &seenRotation, sizeof seenRotation) == 0)
        return;
    seenPosition = t.position;
    seenRotation = t.rotation;
    mirel::Trace("camera at %.2f %.2f %.2f turned %.2f %.2f", t.position.x, t.position.y, t.position.z,
                 t.rotation.x, t.rotation.y);
}
} // namespace

void CameraModule::UpdateStep(float dt)
{
    ApplyGamepad(miInput::Gamepad(), dt);
    if (mirel::TraceEnabled()) TraceControlledCamera();
    auto& mgr = miSim::g_cameraManager;
    for (int32_t i = 0; i < mgr.Count(); ++i)
        miSim::UpdateMatrices(*mgr.AtIndex(i));
}

} // namespace miCamera
