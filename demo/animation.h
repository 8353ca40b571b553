// The demo's float animators and the camera modes that move "mainCamera" by themselves.
#pragma once

#include <cstdint>

namespace miCadora
{

class FloatAnim
{
  public:
    virtual ~FloatAnim() = default;
    // Advances to the animator's clock and returns the current value.
    virtual float Update(float t, float dt) = 0;
    virtual void Reset() { t = 0.0f; }

    // Seconds; the caller adds the frame time before each Update (see Advance).
    float t = 0.0f;
};

// A sine between minValue and maxValue; its clock wraps once per period.
class SinusoidAnim : public FloatAnim
{
  public:
    SinusoidAnim(float frequency, float lo, float hi) : freq(frequency), minValue(lo), maxValue(hi) {}
    float Update(float t, float dt) override;

    float freq;
    float minValue;
    float maxValue;
    // Read from the property store on the first Update; -1 until then.
    float rate = -1.0f;
};

// A value moving at a constant speed, wrapping from maxValue back to minValue.
class CircleAnim : public FloatAnim
{
  public:
    CircleAnim(float startValue, float unitsPerSecond, float lo, float hi)
        : value(startValue), speed(unitsPerSecond), minValue(lo), maxValue(hi)
    {
    }
    float Update(float t, float dt) override;

    float value;
    float speed;
    float minValue;
    float maxValue;
    float rate = -1.0f;
};

// "cadora.anim_<index>_rate", 1 when absent.
float AnimRate(int index);
// Adds the frame time to the animator's clock, then updates it.
float Advance(FloatAnim& anim, float dt);

enum CameraMode : int32_t
{
    kCameraOrbit = 0,
    kCameraSway = 1,
    kCameraFree = 2,
    // Flies the camera path file's keys in a loop.
    kCameraPathMode = 3,
};

struct OrbitState
{
    float elevation = 0.0f;    // radians
    float azimuth = 4.712389f; // radians
    float radius = 60.0f;
    float elevationDegrees = 0.0f;
    // Degrees after the second advance of the frame.
    float lastOrbitValue = 0.0f;
    float lastSwayValue = 0.0f;
};

extern SinusoidAnim g_swayAnim;
extern CircleAnim g_orbitAnim;

// The orbit centre: the windmill's hub.
constexpr float kOrbitCentre[3] = {7.988f, 1051.0f, -2.8f};

// Start of the run: animator clocks, the state's orbit and path clock back to their start values.
void ResetAnimations();
// The start pose of "mainCamera"; hands the camera to the user.
void ResetCamera();
// The options menu's camera group. The free mode also resets the camera; the self-driven
// modes take the controls away so that they do not fight the animation.
void SetCameraMode(int32_t mode);
// Once per frame after the scene is loaded.
void UpdateCamera();
void UpdateCamera(float dt);

} // namespace miCadora
