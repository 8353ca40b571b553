// Transforms, cameras, their projections and frustums, and the user-flown camera.
#pragma once

#include "core/datastructs.h"
#include "core/mimath.h"
#include "input/input.h"
#include "module.h"

#include <cstdint>

namespace miPhysics
{
// Rigid-body handle of a physics-driven transform; no body is ever made in this system.
struct RigidBody;
void FreeBody(RigidBody* body);
} // namespace miPhysics

namespace miSim
{

constexpr uint32_t kNoConstantBuffer = 0xFFFFFFFFu;

struct Transform
{
    // T(position) * Rz * Ry * Rx; for entities also the data of their constant buffer.
    mirel::Mat4 world;
    mirel::Vec3 position;
    // Euler angles in degrees about X, Y and Z.
    mirel::Vec3 rotation;
    mirel::Vec3 worldBoundsMin{mirel::kLargestFloat, mirel::kLargestFloat, mirel::kLargestFloat};
    mirel::Vec3 worldBoundsMax{-mirel::kLargestFloat, -mirel::kLargestFloat, -mirel::kLargestFloat};
    mirel::Vec3 localBoundsMin{mirel::kLargestFloat, mirel::kLargestFloat, mirel::kLargestFloat};
    mirel::Vec3 localBoundsMax{-mirel::kLargestFloat, -mirel::kLargestFloat, -mirel::kLargestFloat};
    uint32_t constantBufferId = kNoConstantBuffer;
    uint8_t boundsUpdated = 1;
    uint8_t dirty = 1;
    uint8_t physicsDriven = 0;
    miPhysics::RigidBody* body = nullptr;
};

// Wraps an angle in degrees into (-180, 180].
float WrapDegrees(float degrees);

// Rebuilds the world matrix and the world box when dirty (or forced).
void UpdateTransform(Transform& transform, bool force);

// Axis-aligned box of a local box under a matrix; an empty box stays empty.
void TransformBounds(const mirel::Mat4& m, const mirel::Vec3& localMin, const mirel::Vec3& localMax,
                     mirel::Vec3& outMin, mirel::Vec3& outMax);

enum FrustumPlane : int
{
    kPlaneLeft = 0,
    kPlaneRight,
    kPlaneTop,
    kPlaneBottom,
    kPlaneNear,
    kPlaneFar,
    kPlaneCount
};

class CameraEnt : public mirel::ManagedResource
{
  public:
    // A released slot is handed out again by the pool; it must then look like a new camera.
    void OnRelease() override { ResetFields(); }
    void ResetFields();

    Transform transform;
    float fovY = 0.7855f;
    float aspect = 1.0f;
    mirel::Mat4 view;
    mirel::Mat4 projection;
    float nearZ = 0.01f;
    float farZ = 2000.0f;
    int32_t width = -1;
    int32_t height = -1;
    // (nx, ny, nz, d) with outward normals: p is outside when n.p - d > 0.
    mirel::Vec4 planes[kPlaneCount];
};

constexpr int32_t kCameraCapacity = 20;
extern mirel::ObjectManagerPooled<CameraEnt> g_cameraManager;
// Handle of "mainCamera", -1 until the camera module made it.
extern int32_t g_mainCameraHandle;

// Null when absent; callers that need the camera report with their own message.
CameraEnt* FindCamera(const char* name);

// aspect = width / height on the signed sizes, so an unknown -1 x -1 output gives 1.
void SetPerspective(CameraEnt& camera, float fovY, float nearZ, float farZ, int32_t width, int32_t height);
// Replaces the projection until the next change of output size.
void SetOrthographic(CameraEnt& camera, float width, float height);
void UpdateMatrices(CameraEnt& camera);
// Near corners (top-left, top-right, bottom-right, bottom-left) then the far ones, in world space.
void GetFrustumCorners(const CameraEnt& camera, mirel::Vec3 out[8]);

enum FrustumResult : int
{
    kInside = 0,
    kIntersecting = 1,
    kOutside = 2,
};
int TestBoxAgainstFrustum(const mirel::Vec4 planes[kPlaneCount], const mirel::Vec3& boxMin,
                          const mirel::Vec3& boxMax);

mirel::Mat4 PerspectiveMatrix(float fovY, float aspect, float nearZ, float farZ);
mirel::Mat4 OrthographicMatrix(float width, float height, float nearZ, float farZ);
// Camera -Z becomes view-space +Z.
mirel::Mat4 ViewFromWorld(const mirel::Mat4& world, const mirel::Vec3& position);

} // namespace miSim

namespace miCamera
{

// The back-buffer size perspective cameras follow; the device layer sets it whenever the swap
// chain is (re)built. -1 x -1 until then.
void SetOutputSize(int32_t width, int32_t height);
int32_t OutputWidth();
int32_t OutputHeight();

// Off while the demo drives the camera itself.
extern bool cameraControlEnabled;

// The camera the keys, mouse and pad fly; null when it no longer exists.
miSim::CameraEnt* ControlledCamera();
void SetControlledCamera(const char* name);
// Next of the camera module's cycle names; a missing one is reported and control stays.
void CycleControlledCamera();
int32_t CameraCycleIndex();

// Frame-time driven controls: forward and right in [-1, 1] (keys give whole steps, the left
// stick fractions), dt in seconds.
void MoveControlled(float forward, float right, float dt);
// Cursor movement: with the left button it turns the camera, with the middle one it lifts it.
// Turning follows the cursor's travel, not the frame time, so the same hand movement turns the
// same amount at any frame rate.
void ApplyMouseMove(const miInput::MouseEvent& event);
// Left stick flies, right stick turns, each full deflection at the configured speed per second.
void ApplyGamepad(const miInput::GamepadState& pad, float dt);

// Seconds of frame time the cursor's per-pixel rate is scaled by (one 60 Hz frame).
constexpr float kMouseReferenceSeconds = 1.0f / 60.0f;
// Cursor steps larger than this are jumps (window re-entry, focus changes) and are ignored.
constexpr float kMouseJumpPixels = 150.0f;

class CameraModule : public miSim::Module
{
  public:
    CameraModule() : Module(3, 3) {}
    void Init() override;
    void Shutdown() override;
    void Update() override;
    // The per-step work with the frame time given.
    void UpdateStep(float dt);

    // The cameras the cycle key hands control to, in order; set by the application.
    const char* cycleNames[3] = {nullptr, nullptr, nullptr};
};

extern CameraModule g_cameraModule;

} // namespace miCamera
