#include "optionsmenu.h"

#include "animation.h"
#include "demostate.h"
#include "detect.h"
#include "scene/camera.h"

#include <array>

namespace miGui
{

namespace
{

int32_t IndexOf(CheckboxWidget* const* boxes, int32_t count, const Widget& w)
{
    for (int32_t i = 0; i < count; ++i)
        if (boxes[i] == &w) return i;
    return -1;
}

void OnFpsChoice(Widget& w, const miInput::MouseEvent&)
{
    OptionsMenu& m = Menu();
    const int32_t box = IndexOf(m.fpsBoxes, miCadora::kFpsChoiceCount, w);
    if (box < 0) return;
    miCadora::SelectFpsChoice(m.choices, box, m.debugGui, m.fpsSlider.value, m.sweepSlider.value);
    m.fpsSlider.SetValue(m.fpsSlider.value);
    // The click already flipped the box; the choices decide what every box shows, so boxes
    // out of range and clicks in the free-slider mode change nothing.
    for (int32_t i = 0; i < miCadora::kFpsChoiceCount; ++i)
        if (m.fpsBoxes[i]) m.fpsBoxes[i]->state = m.choices.checked[i] ? 1 : 0;
}

void OnCameraChoice(Widget& w, const miInput::MouseEvent&)
{
    OptionsMenu& m = Menu();
    const int32_t mode = IndexOf(m.cameraBoxes, kCameraBoxCount, w);
    if (mode < 0) return;
    for (int32_t i = 0; i < kCameraBoxCount; ++i)
        if (m.cameraBoxes[i]) m.cameraBoxes[i]->state = i == mode ? 1 : 0;
    if (m.env.setCameraMode) m.env.setCameraMode(mode);
}

// The update step reads these two every frame; they take effect as they change.
void OnVerticalSync(Widget& w, const miInput::MouseEvent&)
{
    miCadora::State().verticalSync = w.state != 0;
}
void OnAnimationSpeed(Widget& w, const miInput::MouseEvent&)
{
    miCadora::State().bladeSlider = static_cast<SliderWidget&>(w).value;
}

void OnVariableRefresh(Widget& w, const miInput::MouseEvent&)
{
    OptionsMenu& m = Menu();
    const miCadora::DetectionRecord* record = m.env.record ? m.env.record() : nullptr;
    if (miCadora::IsUsable(record))
    {
        if (m.env.setCadoraState) m.env.setCadoraState(w.state != 0);
    }
    else
    {
        w.state = 0;
    }
}

// The widgets that live as long as the program (the per-build boxes are allocated).
std::array<Widget*, 8> FixedWidgets(OptionsMenu& m)
{
    return {&m.fpsSlider, &m.sweepSlider, &m.sweepMaxBox, &m.frame,
            &m.vrrBox,    &m.vsyncBox,    &m.redbarBox,   &m.animSpeedSlider};
}

void Place(Widget& w, float x, float y, float outW, float outH, Widget** out, int32_t capacity, int32_t& n)
{
    w.x = x;
    w.y = y;
    BuildQuads(w, outW, outH);
    if (n < capacity) out[n++] = &w;
}

} // namespace

OptionsMenu& Menu()
{
    static OptionsMenu menu;
    return menu;
}

void OptionsMenu::Build(const MenuEnv& e)
{
    // A second build replaces the first: nothing of it may stay registered or allocated.
    Release();
    env = e;
    if (!env.record) env.record = miCadora::GetDetectionRecord;
    if (!env.setCadoraState) env.setCadoraState = miCadora::SetCadoraState;
    if (!env.setCameraMode) env.setCameraMode = miCadora::SetCameraMode;
    if (!env.debugLine) env.debugLine = miCadora::SendDebugLine;
    debugGui = env.debugGui;

    InitSlider(fpsSlider, "sprite_sheet_1", 15, 16, 35.0f, 60.0f, 50.0f);
    InitSlider(sweepSlider, "sprite_sheet_1", 15, 16, 0.0f, 1.0f, 0.0f);
    InitCheckbox(sweepMaxBox, 21, 22, false, 1024.0f, 1024.0f);
    InitFrame(frame);
    InitCheckbox(vrrBox, 21, 22, false, 1024.0f, 1024.0f);
    vrrBox.callback = OnVariableRefresh;
    InitCheckbox(vsyncBox, 21, 22, env.vsync, 1024.0f, 1024.0f);
    vsyncBox.callback = OnVerticalSync;
    InitCheckbox(redbarBox, 21, 22, false, 256.0f, 256.0f);
    InitSlider(animSpeedSlider, "options", 24, 25, 0.3f, 1.0f, 0.65f);
    animSpeedSlider.callback = OnAnimationSpeed;
    miCadora::DemoState& state = miCadora::State();
    state.verticalSync = vsyncBox.Checked();
    state.bladeSlider = animSpeedSlider.value;

    const miCadora::DetectionRecord* record = env.record();
    const miCadora::SweepRange sweep = miCadora::ChooseSweepRange(record, env.refreshHz);
    state.cadoraCapable = sweep.capable;
    if (sweep.capable)
    {
        vrrBox.state = 1;
        env.setCadoraState(true);
    }
    sweepLowFps = static_cast<float>(sweep.lo);
    sweepHighFps = static_cast<float>(sweep.hi);
    choices = miCadora::BuildFpsChoices(record, sweep.lo, sweep.hi, env.debugLine);
    float fps = static_cast<float>(choices.defaultFps);
    float sweepOn = 0.0f;
    miCadora::PinFpsChoices(choices, fps, sweepOn);
    for (int32_t i = 0; i < miCadora::kFpsChoiceCount; ++i)
    {
        fpsBoxes[i] = new CheckboxWidget();
        InitCheckbox(*fpsBoxes[i], 6 + 2 * i, 7 + 2 * i, choices.checked[i], 1024.0f, 1024.0f);
        fpsBoxes[i]->callback = OnFpsChoice;
    }
    fpsSlider.SetValue(fps);
    sweepSlider.SetValue(sweepOn);

    static const int32_t kCameraSprites[kCameraBoxCount][2] = {{0, 1}, {2, 3}, {26, 27}};
    for (int32_t i = 0; i < kCameraBoxCount; ++i)
    {
        cameraBoxes[i] = new CheckboxWidget();
        InitCheckbox(*cameraBoxes[i], kCameraSprites[i][0], kCameraSprites[i][1], i == 2, 1024.0f, 1024.0f);
        cameraBoxes[i]->callback = OnCameraChoice;
    }

    if (debugGui)
    {
        const float r = static_cast<float>(env.refreshHz);
        fpsSlider.SetRange(0.0f, r);
    }
    shown = true;
}

void OptionsMenu::Release()
{
    for (Widget* w : FixedWidgets(*this))
        ReleaseWidget(*w);
    for (auto& box : fpsBoxes)
    {
        if (!box) continue;
        ReleaseWidget(*box);
        delete box;
        box = nullptr;
    }
    for (auto& box : cameraBoxes)
    {
        if (!box) continue;
        ReleaseWidget(*box);
        delete box;
        box = nullptr;
    }
}

int32_t OptionsMenu::Layout(float outW, float outH, Widget** out, int32_t capacity)
{
    int32_t n = 0;
    Park();
    if (!shown) return 0;
    const float ox = 10.0f, oy = 10.0f;
    Place(frame, ox, oy, outW, outH, out, capacity, n);
    Place(vrrBox, ox + 200.0f, oy + 80.0f, outW, outH, out, capacity, n);
    Place(vsyncBox, ox + 200.0f, oy + 138.0f, outW, outH, out, capacity, n);
    Place(redbarBox, ox + 205.0f, oy + 605.0f, outW, outH, out, capacity, n);
    Place(animSpeedSlider, ox + 16.0f, oy + 550.0f, outW, outH, out, capacity, n);
    int32_t drawn = 0;
    for (int32_t i = choices.firstUsable; i < miCadora::kFpsChoiceCount - 1; ++i)
    {
        if (35.0f + 5.0f * static_cast<float>(i) > sweepHighFps) break;
        if (!fpsBoxes[i]) continue;
        const int32_t k = drawn < 3 ? drawn : drawn - 3;
        const float rowY = drawn < 3 ? 245.0f : 281.0f;
        Place(*fpsBoxes[i], ox + 10.0f + 85.0f * static_cast<float>(k), oy + rowY, outW, outH, out, capacity,
              n);
        ++drawn;
    }
    if (CheckboxWidget* sweepBox = fpsBoxes[miCadora::kFpsChoiceCount - 1])
        Place(*sweepBox, ox + 72.0f, oy + 317.0f, outW, outH, out, capacity, n);
    for (int32_t i = 0; i < kCameraBoxCount; ++i)
        if (cameraBoxes[i])
            Place(*cameraBoxes[i], ox + 150.0f, oy + 369.0f + 36.0f * static_cast<float>(i), outW, outH, out,
                  capacity, n);
    bool& redbarVisible = miCadora::State().redbarVisible;
    if ((redbarBox.state != 0) != redbarVisible) redbarVisible = !redbarVisible;
    if (debugGui)
    {
        Place(fpsSlider, ox + 400.0f, oy + 20.0f, outW, outH, out, capacity, n);
        Place(sweepMaxBox, ox + 400.0f, oy + 60.0f, outW, outH, out, capacity, n);
    }
    return n;
}

void OptionsMenu::Park()
{
    for (Widget* w : FixedWidgets(*this))
        w->x = kUnplaced, w->y = -kUnplaced;
    for (CheckboxWidget* b : fpsBoxes)
        if (b) b->x = kUnplaced, b->y = -kUnplaced;
    for (CheckboxWidget* b : cameraBoxes)
        if (b) b->x = kUnplaced, b->y = -kUnplaced;
}

void OptionsMenu::UpdateCameraHandOver()
{
    if (shown)
        miCamera::cameraControlEnabled = false;
    else if (cameraBoxes[2] && cameraBoxes[2]->state)
        miCamera::cameraControlEnabled = true;
}

void OptionsMenu::StoreControls() const
{
    miCadora::DemoState& state = miCadora::State();
    state.targetFps = fpsSlider.value;
    state.sweepSwitch = sweepSlider.value;
    state.sweepLowFps = sweepLowFps;
    state.sweepHighFps = sweepHighFps;
    state.sweepToSliderMax = sweepMaxBox.state != 0;
    state.fpsSliderMax = fpsSlider.max;
}

void RegisterMenuHotkey()
{
    // Once per input start-up: a second binding would toggle the menu back in the same poll.
    if (miInput::IsKeyRegistered('1')) return;
    miInput::KeyBinding key;
    key.key = '1';
    key.callback = [] { Menu().Toggle(); };
    miInput::RegisterKey(key);
}

} // namespace miGui
