// The options menu: frame rate choices and sweep, variable refresh, vertical sync, red bar,
// animation speed, camera modes and the debug controls, laid out every frame while shown.
#pragma once

#include "gui/widgets.h"
#include "loadcontrol.h"

#include <cstdint>

namespace miCadora
{
struct DetectionRecord;
}

namespace miGui
{

// What the menu needs from the rest of the program when it is built. The function hooks
// default to the demo's own (display library, camera modes, debugger output).
struct MenuEnv
{
    int32_t refreshHz = 60;
    bool debugGui = false;
    bool vsync = false;
    const miCadora::DetectionRecord* (*record)() = nullptr;
    void (*setCadoraState)(bool on) = nullptr;
    void (*setCameraMode)(int32_t mode) = nullptr;
    void (*debugLine)(const char* line) = nullptr; // the fps-choice lines
};

constexpr int32_t kCameraBoxCount = 3;
constexpr int32_t kMaxDrawnWidgets = 32;

class OptionsMenu
{
  public:
    // Creates every widget (registering them) and the fps choices; the menu starts shown. A
    // menu built before is released first. The demo state's bladeSlider, verticalSync and
    // cadoraCapable take the new widgets' values; from then on the slider and the box write
    // theirs as they change.
    void Build(const MenuEnv& env);
    // Frees every widget's vertices and buffer, deletes the per-build boxes (fps choices,
    // camera modes) and leaves no menu widget in the registry.
    void Release();
    // Places the widgets drawn this frame, builds their quads for a W x H output and lists
    // them in drawing order; also brings the demo state's redbarVisible in line with its box.
    int32_t Layout(float outW, float outH, Widget** out, int32_t capacity);
    // Once per frame: the menu owns the camera controls while it is shown.
    void UpdateCameraHandOver();
    void Toggle()
    {
        shown = !shown;
        if (!shown) Park();
    }
    // Moves every widget off screen: one not drawn this frame must not answer the mouse.
    void Park();
    // The control law's inputs that the menu owns, to the demo state: once per executed frame,
    // last, so that the control step reads what the menu showed when it was last drawn.
    void StoreControls() const;

    SliderWidget fpsSlider;
    SliderWidget sweepSlider;
    CheckboxWidget sweepMaxBox;
    FrameWidget frame;
    CheckboxWidget vrrBox;
    CheckboxWidget vsyncBox;
    CheckboxWidget redbarBox;
    SliderWidget animSpeedSlider;
    CheckboxWidget* fpsBoxes[miCadora::kFpsChoiceCount] = {};
    CheckboxWidget* cameraBoxes[kCameraBoxCount] = {};

    miCadora::FpsChoices choices;
    float sweepLowFps = 45.0f;
    float sweepHighFps = 60.0f;
    bool shown = true;
    bool debugGui = false;
    MenuEnv env;
};

OptionsMenu& Menu();
// Hotkey 1 shows and hides the menu; registered once however often the menu is built.
void RegisterMenuHotkey();

} // namespace miGui
