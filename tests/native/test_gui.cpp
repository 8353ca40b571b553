// Sprite sheet files, widget hit-testing and quads, and the options menu's layout and choices.
#include "demostate.h"
#include "detect.h"
#include "core/props.h"
#include "gui_rv.h"
#include "optionsmenu.h"
#include "gui/spritesheet.h"
#include "gui/widgets.h"
#include "scene/camera.h"
#include "support/fake_device.h"
#include "support/material_fixture.h"
#include "support/scripted_input.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{

using miGui::DispatchMouse;
using miGui::SpriteSheet;

// A private asset tree; sheets, widgets and the menu are emptied around each test.
class Gui : public ::testing::Test
{
  protected:
    static miInput::MouseEvent Mouse(float x, float y, bool down) { return {0, 0, x, y, 0, down, 0, 0}; }
    // Button kind: a press and a release at one point, as the button messages deliver them.
    static void Click(float x, float y)
    {
        DispatchMouse(1, Mouse(x, y, true));
        DispatchMouse(1, Mouse(x, y, false));
    }
    static void Click(const miGui::Widget& w) { Click(w.x + 2, w.y + 2); }
    Gui() { Reset(); }
    ~Gui() override { Reset(); }
    static void Reset()
    {
        miGui::Menu().Release();
        miGui::ClearWidgets();
        miGui::SpriteSheets().Clear();
    }
    // Sheets load once per name: writing one drops those loaded, so the next load reads it.
    void Sheet(const std::string& name, const std::string& text) const
    {
        miGui::SpriteSheets().Clear();
        tree.Write("gui/" + name + ".txt", text);
    }
    // n sprites, sprite i at (10 i, 20 i) of size (w + i) x (h + i).
    void Sheet(const std::string& name, int n, int w, int h) const
    {
        std::string s = "numSprites=" + std::to_string(n) + "\n";
        for (int i = 0; i < n; ++i)
            s += "id=" + std::to_string(i) + " x=" + std::to_string(10 * i) + " y=" + std::to_string(20 * i) +
                 " width=" + std::to_string(w + i) + " height=" + std::to_string(h + i) + "\n";
        Sheet(name, s);
    }
    // A trackWidth x 24 track (10 pixels of end caps each side) and a 16 x 28 knob.
    void SliderSheet(int trackWidth = 120) const
    {
        Sheet("s", "numSprites=2\nid=0 width=" + std::to_string(trackWidth) +
                       " height=24\nid=1 width=16 height=28\n");
    }
    mirel::test::AssetTree tree;
};

TEST_F(Gui, SheetFileRecordsInOrder)
{
    // A file, the sprites it holds and the last one's x y lrx lry width height anchorx anchory id.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"numSprites=1\nid=7 x=1.5 y=2 lrx=3 lry=4 width=10 height=20 anchorx=-1 anchory=2.5\n", 1,
         "1.5 2 3 4 10 20 -1 2.5 7"},
        // Keys in any order, unknown keys and plain words skipped; two '=' make no key.
        {"numSprites=2 extra=1\nid=0 x=5\nfoo=9 height=3 junk width=4 id=1 y=6\n", 2, "0 6 0 0 4 3 0 0 1"},
        {"numSprites=1\nid=3 x=1=2 width=5\n", 1, "0 0 0 0 5 0 0 0 3"},
        {"numSprites=5\nid=0\nid=1 x=2\n", 2, "2 0 0 0 0 0 0 0 1"},
        {"numSprites=1\nid=0 x=1\nid=1 x=2\n", 1, "1 0 0 0 0 0 0 0 0"},
        {"numSprites=2\nid=0 width=9 height=9\nid=1\n", 2, "0 0 0 0 0 0 0 0 1"}, // no size carried over
        {"numSprites=-3\nid=0\n", 0, ""},
        {"sprites=2\nid=0\n", 0, ""},
    };
    for (const auto& [text, count, last] : cases)
    {
        SCOPED_TRACE(text);
        Sheet("t", text);
        const SpriteSheet* sheet = miGui::LoadSpriteSheet("t", 64, 64);
        ASSERT_NE(sheet, nullptr);
        ASSERT_EQ(sheet->sprites.count, count);
        EXPECT_EQ(sheet->At(count), nullptr);
        if (count == 0) continue;
        const miGui::Sprite& s = *sheet->At(count - 1);
        std::ostringstream got;
        got << s.x << " " << s.y << " " << s.lrx << " " << s.lry << " " << s.width << " " << s.height << " "
            << s.anchorx << " " << s.anchory << " " << s.id;
        EXPECT_EQ(got.str(), last);
    }
}

TEST_F(Gui, MissingSheetsAndSpritesAreReportedAndFirstCallersTextureSizeWins)
{
    // One report per broken sheet: its missing file, or the first sprite asked for in vain.
    mirel::test::ReportCapture reports;
    miGui::CheckboxWidget box, other;
    miGui::InitCheckbox(other, 21, 22, false, 1024, 1024);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "Menu file not found: " + tree.Root() + "/gui/options.txt",
                        reports.Last());
    miGui::ReleaseWidget(other);
    // A sheet without the widget's sprite leaves it empty and unhittable.
    Sheet("options", 3, 20, 10);
    miGui::InitCheckbox(box, 21, 22, false, 1024, 1024);
    miGui::InitCheckbox(other, 23, 24, false, 1024, 1024);
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_PRED_FORMAT2(testing::IsSubstring, "Sprite not found: 21", reports.Last());
    miGui::ReleaseWidget(other);
    EXPECT_FLOAT_EQ(box.width, 0);
    box.x = box.y = 0;
    miGui::BuildQuads(box, 800, 600);
    EXPECT_EQ(box.batch.vertexCount, 0);
    miGui::ReleaseWidget(box);

    Sheet("options", 28, 30, 30);
    miGui::SpriteBatch a, b;
    miGui::InitBatch(a, "options", 1, 1024, 1024);
    miGui::InitBatch(b, "options", 2, 256, 256);
    EXPECT_EQ(a.sheetId, b.sheetId);
    const SpriteSheet* sheet = miGui::BatchSheet(b);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ((std::array<float, 2>{sheet->texWidth, sheet->texHeight}), (std::array<float, 2>{1024, 1024}));
    miGui::FreeBatch(a);
    miGui::FreeBatch(b);
}

int g_callbacks = 0;

TEST_F(Gui, CheckboxReleaseInsideTogglesOnce)
{
    Sheet("options", 28, 20, 10); // sprite 21: 41 x 31, sprite 22: 42 x 32
    // Inside: centre and both corners; outside: just right, just below, left, above.
    const float xs[] = {120, 100, 141, 141.5f, 120, 99, 120}, ys[] = {65, 50, 81, 65, 81.5f, 65, 49};
    miGui::CheckboxWidget box;
    miGui::InitCheckbox(box, 21, 22, false, 1024, 1024);
    EXPECT_EQ((std::array<float, 2>{box.width, box.height}), (std::array<float, 2>{41, 31}));
    box.x = 100, box.y = 50;
    g_callbacks = 0;
    box.callback = [](miGui::Widget&, const miInput::MouseEvent&) { ++g_callbacks; };
    for (int i = 0; i < 7; ++i)
    {
        const bool before = box.Checked();
        DispatchMouse(1, Mouse(xs[i], ys[i], true)); // press: nothing yet
        EXPECT_EQ(box.Checked(), before) << i;
        DispatchMouse(1, Mouse(xs[i], ys[i], false));
        EXPECT_EQ(box.Checked(), i < 3 ? !before : before) << i;
        EXPECT_EQ(g_callbacks, std::min(i + 1, 3)) << i;
    }
    miGui::ReleaseWidget(box);
    // Checked: the checked sprite's size; not laid out yet, nowhere on screen answers.
    miGui::InitCheckbox(box, 21, 22, true, 1024, 1024);
    EXPECT_EQ((std::array<float, 2>{box.width, box.height}), (std::array<float, 2>{42, 32}));
    DispatchMouse(1, Mouse(0, 0, false));
    EXPECT_TRUE(box.Checked());
    miGui::ReleaseWidget(box);
}

TEST_F(Gui, SliderValueFollowsThePointerWhilePressed)
{
    SliderSheet();
    // Pressed at 250, dragged to px; outside the slider (330) nothing moves.
    const float px[] = {200, 205, 255, 305, 318, 330}, value[] = {35, 35, 47.5f, 60, 60, 50};
    for (int i = 0; i < 6; ++i)
    {
        miGui::SliderWidget slider;
        miGui::InitSlider(slider, "s", 0, 1, 35, 60, 50);
        slider.x = 200, slider.y = 100;
        DispatchMouse(1, Mouse(250, 110, true));
        DispatchMouse(0, Mouse(px[i], 110, true));
        EXPECT_FLOAT_EQ(slider.value, value[i]) << px[i];
        miGui::ReleaseWidget(slider);
    }
    // Moves count only between a press on the slider and a release anywhere.
    miGui::SliderWidget slider;
    miGui::InitSlider(slider, "s", 0, 1, 0, 1, 0);
    slider.x = slider.y = 0;
    DispatchMouse(0, Mouse(55, 10, false));
    EXPECT_FLOAT_EQ(slider.value, 0);
    DispatchMouse(1, Mouse(10, 10, true));
    DispatchMouse(1, Mouse(500, 10, false)); // released elsewhere: still held
    DispatchMouse(0, Mouse(55, 10, true));
    EXPECT_FLOAT_EQ(slider.value, 0.5f);
    DispatchMouse(1, Mouse(55, 10, false));
    DispatchMouse(0, Mouse(105, 10, false));
    EXPECT_FLOAT_EQ(slider.value, 0.5f);
    miGui::ReleaseWidget(slider);

    // No track and no range: the value stays finite, at the lower end.
    SliderSheet(12);
    miGui::InitSlider(slider, "s", 0, 1, 2, 2, 2);
    EXPECT_FLOAT_EQ(slider.trackLength, 0);
    EXPECT_FLOAT_EQ(slider.knobOffset, 0);
    slider.x = slider.y = 0;
    DispatchMouse(1, Mouse(6, 6, true));
    DispatchMouse(0, Mouse(8, 6, true));
    EXPECT_FLOAT_EQ(slider.value, 2);
    miGui::ReleaseWidget(slider);
}

// The distinct corners (x, y, u, v) of the quad at vertices [from, from + 6).
using Corners = std::set<std::array<float, 4>>;
Corners QuadCorners(const miGui::SpriteBatch& b, int from)
{
    Corners corners;
    for (int i = from; i < from + 6; ++i)
    {
        const miGui::SpriteVertex& v = b.vertices[i];
        EXPECT_FLOAT_EQ(v.z, 0);
        corners.insert({v.x, v.y, v.u, v.v});
    }
    return corners;
}

// Centred coordinates, y up; the top edge takes the sprite's top row of texels.
TEST_F(Gui, QuadsInCentredCoordinatesWithTheirTextureRange)
{
    Sheet("options", "numSprites=2\nid=0 x=100 y=200 width=40 height=20 anchorx=3 anchory=4\n"
                     "id=1 x=0 y=0 width=8 height=8\n");
    miGui::CheckboxWidget box;
    miGui::InitCheckbox(box, 0, 1, false, 1000, 500);
    box.x = 10, box.y = 30;
    miGui::BuildQuads(box, 800, 600);
    ASSERT_EQ(box.batch.vertexCount, 6);
    const float l = 10 - 400 + 3, t = 300 - 30 - 4; // left, top
    EXPECT_EQ(QuadCorners(box.batch, 0), (Corners{{l, t, 0.1f, 0.4f},
                                                  {l + 40, t, 0.14f, 0.4f},
                                                  {l, t - 20, 0.1f, 0.44f},
                                                  {l + 40, t - 20, 0.14f, 0.44f}}));
    // Checked: the other sprite; rebuilding does not pile quads up.
    box.state = 1;
    miGui::BuildQuads(box, 800, 600);
    ASSERT_EQ(box.batch.vertexCount, 6);
    EXPECT_FLOAT_EQ(box.batch.vertices[0].u, 0);
    miGui::ReleaseWidget(box);

    // The slider's knob: left = x + 25 + 10 - 16 / 2, top = y - (28 / 2 - 12).
    SliderSheet();
    miGui::SliderWidget slider;
    miGui::InitSlider(slider, "s", 0, 1, 0, 1, 0.25f); // knob offset 25
    slider.x = slider.y = 0;
    miGui::BuildQuads(slider, 200, 100);
    ASSERT_EQ(slider.batch.vertexCount, 12);
    EXPECT_EQ(
        QuadCorners(slider.batch, 6),
        (Corners{
            {-73, 52, 0, 0}, {-57, 52, 0.0625f, 0}, {-73, 24, 0, 0.109375f}, {-57, 24, 0.0625f, 0.109375f}}));
    miGui::ReleaseWidget(slider);
}

// ---- The options menu, from the shipped sheets.

miCadora::DetectionRecord g_record;
const miCadora::DetectionRecord* g_recordPtr = nullptr;
int g_cadoraCalls = 0;
bool g_cadoraLast = false;
int g_cameraMode = -1;

// A display of refreshHz; one whose range starts at minHz (0: none) is usable up to 144 Hz.
miGui::MenuEnv Env(int refreshHz = 60, int minHz = 0, bool debugGui = false)
{
    g_record = miCadora::DetectionRecord{};
    g_record.minRefreshMilliHz = minHz * 1000;
    g_record.maxRefreshMilliHz = minHz ? 144000 : 0;
    g_recordPtr = &g_record;
    g_cadoraCalls = 0;
    g_cameraMode = -1;
    miGui::MenuEnv env;
    env.refreshHz = refreshHz;
    env.debugGui = debugGui;
    env.record = [] { return g_recordPtr; };
    env.setCadoraState = [](bool on) { ++g_cadoraCalls, g_cadoraLast = on; };
    env.setCameraMode = [](int32_t m) { g_cameraMode = m; };
    env.debugLine = [](const char*) {};
    return env;
}

class Menu : public Gui
{
  protected:
    Menu()
    {
        mirel::SetAssetRoot(MIREL_SOURCE_ASSETS);
        miCadora::State().redbarVisible = false;
    }
    // Built and laid out: the number of widgets drawn.
    int Show(int refreshHz = 60, int minHz = 0, bool debugGui = false)
    {
        m.Build(Env(refreshHz, minHz, debugGui));
        return Layout();
    }
    int Layout() { return m.Layout(1280, 720, drawn, miGui::kMaxDrawnWidgets); }
    bool Drawn(const miGui::Widget* w, int n) const { return std::find(drawn, drawn + n, w) != drawn + n; }
    miGui::OptionsMenu& m = miGui::Menu();
    miGui::Widget* drawn[miGui::kMaxDrawnWidgets] = {};
};

// The fps boxes run from the first usable rate to the sweep's top, three to a row.
TEST_F(Menu, LayoutPlacesTheWidgetsAndTheUsableFpsBoxes)
{
    int n = Show();
    const std::pair<const miGui::Widget*, std::array<float, 2>> places[] = {
        {&m.frame, {10, 10}},           {&m.vrrBox, {210, 90}},          {&m.vsyncBox, {210, 148}},
        {&m.redbarBox, {215, 615}},     {&m.animSpeedSlider, {26, 560}}, {m.fpsBoxes[6], {82, 327}},
        {m.cameraBoxes[0], {160, 379}}, {m.cameraBoxes[1], {160, 415}},  {m.cameraBoxes[2], {160, 451}}};
    for (const auto& [w, xy] : places)
    {
        EXPECT_TRUE(Drawn(w, n));
        EXPECT_EQ((std::array<float, 2>{w->x, w->y}), xy);
        EXPECT_GT(w->batch.vertexCount, 0);
    }
    EXPECT_EQ(drawn[0], &m.frame); // drawn first, under everything else
    // Debug controls are not part of the plain menu.
    for (const miGui::Widget* w :
         std::initializer_list<const miGui::Widget*>{&m.fpsSlider, &m.sweepSlider, &m.sweepMaxBox})
        EXPECT_FALSE(Drawn(w, n));

    // Refresh rate, lowest usable rate and the fps boxes drawn, in order.
    const std::tuple<int, int, std::vector<int>> cases[] = {
        {60, 0, {2, 3, 4, 5}},     // no usable display: 45 to 60
        {60, 30, {0, 1, 2, 3, 4}}, // lo 35, hi 55
        {55, 35, {1, 2, 3}},       // lo 40, hi 50: one row
    };
    for (const auto& [refreshHz, minHz, boxes] : cases)
    {
        n = Show(refreshHz, minHz);
        std::vector<int> got;
        for (int i = 0; i < 6; ++i)
            if (Drawn(m.fpsBoxes[i], n)) got.push_back(i);
        EXPECT_EQ(got, boxes) << minHz;
        for (size_t k = 0; k < got.size(); ++k)
        {
            const miGui::Widget* w = m.fpsBoxes[got[k]];
            EXPECT_EQ((std::array<float, 2>{w->x, w->y}),
                      (std::array<float, 2>{20 + 85.0f * static_cast<float>(k % 3), k < 3 ? 255.0f : 291.0f}))
                << got[k];
        }
    }
}

TEST_F(Menu, FpsChoiceSetsTheRateAndClearsTheOthersUnlessTheSliderIsFree)
{
    Show();
    Click(*m.fpsBoxes[4]);
    EXPECT_FLOAT_EQ(m.fpsSlider.value, 55);
    EXPECT_FLOAT_EQ(m.sweepSlider.value, 0);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(m.fpsBoxes[i]->Checked(), i == 4) << i;
    Click(*m.fpsBoxes[4]); // the chosen box again keeps it chosen
    EXPECT_TRUE(m.fpsBoxes[4]->Checked());
    Click(*m.fpsBoxes[6]);
    EXPECT_FLOAT_EQ(m.sweepSlider.value, 1);
    EXPECT_FALSE(m.fpsBoxes[4]->Checked());

    // The debug menu's slider spans the display's rate, and the boxes do not move it.
    EXPECT_TRUE(Drawn(&m.fpsSlider, Show(144, 0, true)));
    EXPECT_EQ((std::array<float, 2>{m.fpsSlider.min, m.fpsSlider.max}), (std::array<float, 2>{0, 144}));
    EXPECT_FLOAT_EQ(m.fpsSlider.x, 410);
    EXPECT_FLOAT_EQ(m.sweepMaxBox.y, 70);
    Click(*m.fpsBoxes[4]);
    EXPECT_FALSE(m.fpsBoxes[4]->Checked());
    EXPECT_TRUE(m.fpsBoxes[3]->Checked());
    EXPECT_FLOAT_EQ(m.fpsSlider.value, 50);
}

TEST_F(Menu, VariableRefreshBoxFollowsTheDisplay)
{
    // Unusable: the box is forced off and the display library is not called.
    Show();
    Click(m.vrrBox);
    EXPECT_FALSE(m.vrrBox.Checked());
    EXPECT_EQ(g_cadoraCalls, 0);

    // A usable display is switched on at once and its box starts checked.
    m.Build(Env(60, 40));
    EXPECT_EQ(g_cadoraCalls, 1);
    EXPECT_TRUE(g_cadoraLast);
    EXPECT_TRUE(m.vrrBox.Checked());
    Layout();
    Click(m.vrrBox);
    EXPECT_FALSE(m.vrrBox.Checked());
    EXPECT_EQ(g_cadoraCalls, 2);
    EXPECT_FALSE(g_cadoraLast);
    // The display library went away since: the box cannot be checked any more.
    g_recordPtr = nullptr;
    Click(m.vrrBox);
    EXPECT_FALSE(m.vrrBox.Checked());
    EXPECT_EQ(g_cadoraCalls, 2);
}

TEST_F(Menu, CameraBoxesFormOneGroupHandedBackWhenHidden)
{
    m.Build(Env());
    EXPECT_TRUE(m.cameraBoxes[2]->Checked());
    Layout();
    Click(*m.cameraBoxes[0]);
    EXPECT_EQ(g_cameraMode, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m.cameraBoxes[i]->Checked(), i == 0);
    Click(*m.cameraBoxes[0]);
    EXPECT_TRUE(m.cameraBoxes[0]->Checked());

    Show();
    miCamera::cameraControlEnabled = true;
    m.UpdateCameraHandOver();
    EXPECT_FALSE(miCamera::cameraControlEnabled);
    m.Toggle();
    m.UpdateCameraHandOver();
    EXPECT_TRUE(miCamera::cameraControlEnabled); // free camera box checked
}

// The update step reads the blade slider and the vertical-sync box from the demo state every
// frame: the build writes them, and the mouse's changes reach the state at once. The red bar's box
// is picked up when the menu is next laid out.
TEST_F(Menu, ControlsReachTheDemoState)
{
    miCadora::DemoState& s = miCadora::State();
    for (bool vsync : {false, true})
    {
        s.bladeSlider = -1.0f;
        s.verticalSync = !vsync;
        miGui::MenuEnv env = Env();
        env.vsync = vsync;
        m.Build(env);
        EXPECT_FLOAT_EQ(s.bladeSlider, 0.65f) << vsync;
        EXPECT_EQ(s.verticalSync, vsync);
        Layout();
        Click(m.vsyncBox);
        EXPECT_EQ(s.verticalSync, !vsync);
        Click(m.vsyncBox);
        EXPECT_EQ(s.verticalSync, vsync);
        // Held and dragged to the track's start: the lowest speed.
        const miGui::SliderWidget& slider = m.animSpeedSlider;
        DispatchMouse(1, Mouse(slider.x + 2, slider.y + 2, true));
        DispatchMouse(0, Mouse(slider.x + 2, slider.y + 2, true));
        EXPECT_FLOAT_EQ(slider.value, 0.3f);
        EXPECT_FLOAT_EQ(s.bladeSlider, 0.3f) << vsync;
        DispatchMouse(1, Mouse(slider.x + 2, slider.y + 2, false));
        Click(m.redbarBox);
        EXPECT_FALSE(s.redbarVisible);
        Layout();
        EXPECT_TRUE(s.redbarVisible);
    }
}

TEST_F(Menu, UnattendedRunsSeeThePinnedChoiceInTheMenu)
{
    // The pinned rate (null: none), the sweep pin, the box checked, and the rate and sweep stored.
    const std::tuple<const char*, bool, int, std::array<float, 2>> cases[] = {
        {nullptr, false, 3, {50, 0}}, {"55", false, 4, {55, 0}},   {"40", false, -1, {50, 0}},
        {"52", false, 3, {50, 0}},    {nullptr, true, 6, {50, 1}}, {"60", true, 6, {60, 1}}};
    // No usable display: boxes 2 (45 fps) to 6 (the sweep) answer.
    for (const auto& [fixedFps, sweep, checkedBox, stored] : cases)
    {
        SCOPED_TRACE(fixedFps ? fixedFps : "none");
        mirel::test::PinRate(fixedFps, sweep ? "true" : nullptr);
        m.Build(Env());
        for (int i = 2; i < 7; ++i)
            EXPECT_EQ(m.fpsBoxes[i]->Checked(), i == checkedBox) << i;
        m.StoreControls();
        EXPECT_EQ((std::array<float, 2>{miCadora::State().targetFps, miCadora::State().sweepSwitch}), stored);
    }
    mirel::ClearProperties();
}

// Built twice through its view, as a second start-up or a second Init() does: one menu answers the
// mouse, hotkey 1 toggles it once, and nothing of the first build stays registered or allocated.
TEST_F(Menu, ViewBuiltTwiceLeavesOneMenuOneHotkeyAndNoBuffers)
{
    mirel::test::ReportCapture reports;
    mirel::test::FakeDevice host;
    host.anyTarget = 0;
    host.constantBuffers = false;
    mirel::test::ScriptedInput pointer;
    miRender::SetDeviceHost(&host);
    miInput::SetInputPlatform(&pointer);
    miInput::g_inputModule.Init();
    miInput::ClearMouseListeners();

    miRender::Gui_RV view("Gui_RV");
    view.env = Env();
    for (int start = 0; start < 2; ++start)
    {
        miGui::RegisterGuiListeners();
        view.Init();
    }
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
    EXPECT_EQ(miGui::WidgetCount(), 8 + 7 + 3);
    EXPECT_EQ(host.vertexBuffers.size(), 8u + 7 + 3);
    view.Execute();

    // Under ASan a box of the first build still registered is a use after free here.
    pointer.cursorX = m.redbarBox.x + 2, pointer.cursorY = m.redbarBox.y + 2;
    for (uint32_t message : {0x0201u, 0x0202u}) // button down, up
    {
        miInput::OnMouseMessage(message);
        miInput::g_inputModule.Update();
    }
    EXPECT_TRUE(m.redbarBox.Checked()) << "a click toggles the box once";

    // The control step reads what the menu showed when its view last executed: a choice reaches
    // the demo state then, not when it is clicked. Hidden, the menu neither draws nor answers.
    miCadora::DemoState& s = miCadora::State();
    s.targetFps = s.sweepSwitch = s.sweepLowFps = s.sweepHighFps = s.fpsSliderMax = 0.0f;
    s.sweepToSliderMax = true;
    Click(*m.fpsBoxes[4]);
    EXPECT_FLOAT_EQ(s.targetFps, 0.0f);
    miInput::Keyboard().keyState[static_cast<unsigned char>('1')].store(1);
    miInput::g_inputModule.Update();
    EXPECT_FALSE(m.shown) << "hotkey 1 hides the menu";
    view.Execute();
    EXPECT_EQ(view.drawnCount, 0);
    EXPECT_EQ(
        (std::array<float, 5>{s.targetFps, s.sweepSwitch, s.sweepLowFps, s.sweepHighFps, s.fpsSliderMax}),
        (std::array<float, 5>{55, 0, 45, 60, 60}));
    EXPECT_FALSE(s.sweepToSliderMax);
    Click(pointer.cursorX, pointer.cursorY);
    EXPECT_TRUE(m.redbarBox.Checked());

    view.Shutdown();
    EXPECT_EQ(miGui::WidgetCount(), 0);
    EXPECT_TRUE(host.vertexBuffers.empty());
    EXPECT_EQ(host.strayReleases, 0);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(m.fpsBoxes[i], nullptr);
    miInput::ClearMouseListeners();
    miInput::g_inputModule.Init();
    miInput::SetInputPlatform(nullptr);
    miRender::SetDeviceHost(nullptr);
}

} // namespace
