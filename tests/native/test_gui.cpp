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
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using miGui::Sprite;
using miGui::SpriteSheet;

std::vector<Sprite> ReadSheet(const std::string& text)
{
    mirel::test::TempFile file(text);
    mirel::TextParser in(16, file.Path());
    SpriteSheet sheet;
    miGui::ReadSpriteRecords(in, sheet);
    return std::vector<Sprite>(sheet.sprites.Data(), sheet.sprites.Data() + sheet.sprites.count);
}

struct SheetCase
{
    const char* what;
    std::string text;
    int count;
    Sprite last; // compared when count > 0
};

class SheetFile : public ::testing::TestWithParam<SheetCase>
{
};

TEST_P(SheetFile, ReadsRecordsInOrder)
{
    const SheetCase& c = GetParam();
    mirel::test::ReportCapture reports;
    const std::vector<Sprite> sprites = ReadSheet(c.text);
    ASSERT_EQ(static_cast<int>(sprites.size()), c.count) << c.what;
    if (c.count == 0) return;
    const Sprite& s = sprites.back();
    EXPECT_EQ(s.id, c.last.id) << c.what;
    EXPECT_FLOAT_EQ(s.x, c.last.x) << c.what;
    EXPECT_FLOAT_EQ(s.y, c.last.y) << c.what;
    EXPECT_FLOAT_EQ(s.lrx, c.last.lrx) << c.what;
    EXPECT_FLOAT_EQ(s.lry, c.last.lry) << c.what;
    EXPECT_FLOAT_EQ(s.width, c.last.width) << c.what;
    EXPECT_FLOAT_EQ(s.height, c.last.height) << c.what;
    EXPECT_FLOAT_EQ(s.anchorx, c.last.anchorx) << c.what;
    EXPECT_FLOAT_EQ(s.anchory, c.last.anchory) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SheetFile,
    ::testing::Values(
        SheetCase{"every key",
                  "numSprites=1\nid=7 x=1.5 y=2 lrx=3 lry=4 width=10 height=20 anchorx=-1 anchory=2.5\n",
                  1,
                  {1.5f, 2, 3, 4, -1, 2.5f, 10, 20, 7}},
        SheetCase{"keys in any order, unknown keys and plain words ignored",
                  "numSprites=2 extra=1\nid=0 x=5\nfoo=9 height=3 junk width=4 id=1 y=6\n",
                  2,
                  {0, 6, 0, 0, 0, 0, 4, 3, 1}},
        SheetCase{"two '=' in a token is no key",
                  "numSprites=1\nid=3 x=1=2 width=5\n",
                  1,
                  {0, 0, 0, 0, 0, 0, 5, 0, 3}},
        SheetCase{
            "count larger than the file", "numSprites=5\nid=0\nid=1 x=2\n", 2, {2, 0, 0, 0, 0, 0, 0, 0, 1}},
        SheetCase{"lines past the count are not read",
                  "numSprites=1\nid=0 x=1\nid=1 x=2\n",
                  1,
                  {1, 0, 0, 0, 0, 0, 0, 0, 0}},
        SheetCase{
            "blank lines are skipped", "numSprites=1\n\n\nid=4 width=8\n", 1, {0, 0, 0, 0, 0, 0, 8, 0, 4}},
        SheetCase{"zero count", "numSprites=0\nid=0\n", 0, {}},
        SheetCase{"negative count", "numSprites=-3\nid=0\n", 0, {}},
        SheetCase{"no count", "sprites=2\nid=0\n", 0, {}}, SheetCase{"empty file", "", 0, {}},
        // Each record's size starts at zero rather than carrying the previous record's.
        SheetCase{"size does not carry over",
                  "numSprites=2\nid=0 width=9 height=9\nid=1\n",
                  2,
                  {0, 0, 0, 0, 0, 0, 0, 0, 1}}));

// A private asset tree whose gui folder holds the given sheets.
class AssetTree
{
  public:
    AssetTree()
    {
        char tmpl[] = "/tmp/mirel-gui-XXXXXX";
        root_ = mkdtemp(tmpl);
        std::system(("mkdir -p " + root_ + "/gui").c_str());
        mirel::SetAssetRoot(root_.c_str());
        miGui::SpriteSheets().Clear();
        miGui::ClearWidgets();
    }
    ~AssetTree()
    {
        miGui::Menu().Release();
        miGui::ClearWidgets();
        miGui::SpriteSheets().Clear();
        std::system(("rm -rf " + root_).c_str());
    }
    void Write(const std::string& sheet, const std::string& text) const
    {
        std::ofstream(root_ + "/gui/" + sheet + ".txt") << text;
    }
    std::string root_;
};

// n sprites, sprite i at (10 i, 20 i) of size (w + i) x (h + i).
std::string Sheet(int n, int w, int h)
{
    std::string s = "numSprites=" + std::to_string(n) + "\n";
    for (int i = 0; i < n; ++i)
        s += "id=" + std::to_string(i) + " x=" + std::to_string(10 * i) + " y=" + std::to_string(20 * i) +
             " width=" + std::to_string(w + i) + " height=" + std::to_string(h + i) + "\n";
    return s;
}

TEST(SpriteSheetLoad, MissingFileIsReportedAndLeavesAnEmptySheet)
{
    AssetTree tree;
    mirel::test::ReportCapture reports;
    SpriteSheet* sheet = miGui::LoadSpriteSheet("nosuch", 64, 64);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->sprites.count, 0);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("Menu file not found: " + tree.root_ + "/gui/nosuch.txt"),
              std::string::npos)
        << reports.Last();
    EXPECT_EQ(sheet->At(0), nullptr);
}

TEST(SpriteSheetLoad, FirstCallersTextureSizeWins)
{
    AssetTree tree;
    tree.Write("options", Sheet(28, 30, 30));
    miGui::SpriteBatch a, b;
    miGui::InitBatch(a, "options", 1, 1024, 1024);
    miGui::InitBatch(b, "options", 2, 256, 256);
    EXPECT_EQ(a.sheetId, b.sheetId);
    SpriteSheet* sheet = miGui::BatchSheet(b);
    ASSERT_NE(sheet, nullptr);
    EXPECT_FLOAT_EQ(sheet->texWidth, 1024);
    EXPECT_FLOAT_EQ(sheet->texHeight, 1024);
    EXPECT_EQ(sheet->sprites.count, 28);
    EXPECT_EQ(b.quadCapacity, 2);
    miGui::FreeBatch(a);
    miGui::FreeBatch(b);
}

miInput::MouseEvent Mouse(float x, float y, bool down)
{
    miInput::MouseEvent e{};
    e.x = x;
    e.y = y;
    e.leftDown = down ? 1 : 0;
    return e;
}

struct ClickCase
{
    const char* what;
    float x, y;
    bool toggles;
};

class CheckboxClick : public ::testing::TestWithParam<ClickCase>
{
};

int g_callbacks = 0;

TEST_P(CheckboxClick, ReleaseInsideTogglesOnce)
{
    const ClickCase& c = GetParam();
    AssetTree tree;
    tree.Write("options", Sheet(28, 20, 10)); // sprite 21: 41 x 31, sprite 22: 42 x 32
    miGui::CheckboxWidget box;
    miGui::InitCheckbox(box, 21, 22, false, 1024, 1024);
    EXPECT_FLOAT_EQ(box.width, 41);
    EXPECT_FLOAT_EQ(box.height, 31);
    box.x = 100;
    box.y = 50;
    g_callbacks = 0;
    box.callback = [](miGui::Widget&, const miInput::MouseEvent&) { ++g_callbacks; };
    miGui::DispatchMouse(1, Mouse(c.x, c.y, true)); // press: nothing yet
    EXPECT_FALSE(box.Checked()) << c.what;
    miGui::DispatchMouse(1, Mouse(c.x, c.y, false));
    EXPECT_EQ(box.Checked(), c.toggles) << c.what;
    EXPECT_EQ(g_callbacks, c.toggles ? 1 : 0) << c.what;
    miGui::ReleaseWidget(box);
}

INSTANTIATE_TEST_SUITE_P(
    Points, CheckboxClick,
    ::testing::Values(ClickCase{"centre", 120, 65, true}, ClickCase{"top-left corner", 100, 50, true},
                      ClickCase{"bottom-right corner", 141, 81, true},
                      ClickCase{"just right", 141.5f, 65, false}, ClickCase{"just below", 120, 81.5f, false},
                      ClickCase{"left of it", 99, 65, false}, ClickCase{"above it", 120, 49, false}));

TEST(Checkbox, CheckedBoxTakesTheCheckedSpritesSize)
{
    AssetTree tree;
    tree.Write("options", Sheet(28, 20, 10));
    miGui::CheckboxWidget box;
    miGui::InitCheckbox(box, 21, 22, true, 1024, 1024);
    EXPECT_FLOAT_EQ(box.width, 42);
    EXPECT_FLOAT_EQ(box.height, 32);
    // Not laid out yet: nowhere on screen answers.
    miGui::DispatchMouse(1, Mouse(0, 0, false));
    EXPECT_TRUE(box.Checked());
    miGui::ReleaseWidget(box);
}

TEST(Checkbox, SpriteMissingFromTheSheetIsReported)
{
    AssetTree tree;
    tree.Write("options", Sheet(3, 20, 10));
    mirel::test::ReportCapture reports;
    miGui::CheckboxWidget box;
    miGui::InitCheckbox(box, 21, 22, false, 1024, 1024);
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_FLOAT_EQ(box.width, 0);
    box.x = box.y = 0;
    miGui::BuildQuads(box, 800, 600);
    EXPECT_EQ(box.batch.vertexCount, 0);
    miGui::ReleaseWidget(box);
}

struct DragCase
{
    const char* what;
    float px;
    float value;
};

class SliderDrag : public ::testing::TestWithParam<DragCase>
{
};

TEST_P(SliderDrag, ValueFollowsThePointer)
{
    const DragCase& c = GetParam();
    AssetTree tree;
    tree.Write("s", "numSprites=2\nid=0 width=120 height=24\nid=1 width=16 height=28\n");
    miGui::SliderWidget slider;
    miGui::InitSlider(slider, "s", 0, 1, 35, 60, 50);
    ASSERT_FLOAT_EQ(slider.trackLength, 100);
    EXPECT_FLOAT_EQ(slider.knobOffset, 60);
    slider.x = 200;
    slider.y = 100;
    miGui::DispatchMouse(1, Mouse(250, 110, true));
    miGui::DispatchMouse(0, Mouse(c.px, 110, true));
    EXPECT_FLOAT_EQ(slider.value, c.value) << c.what;
    miGui::ReleaseWidget(slider);
}

INSTANTIATE_TEST_SUITE_P(Points, SliderDrag,
                         ::testing::Values(DragCase{"left end", 200, 35}, DragCase{"track start", 205, 35},
                                           DragCase{"middle", 255, 47.5f}, DragCase{"track end", 305, 60},
                                           DragCase{"beyond the track end", 318, 60},
                                           // Outside the slider nothing moves.
                                           DragCase{"right of the slider", 330, 50}));

TEST(Slider, MovesOnlyWhilePressedAndReleasesOnlyInside)
{
    AssetTree tree;
    tree.Write("s", "numSprites=2\nid=0 width=120 height=24\nid=1 width=16 height=28\n");
    miGui::SliderWidget slider;
    miGui::InitSlider(slider, "s", 0, 1, 0, 1, 0);
    slider.x = 0;
    slider.y = 0;
    miGui::DispatchMouse(0, Mouse(55, 10, false));
    EXPECT_FLOAT_EQ(slider.value, 0);
    miGui::DispatchMouse(1, Mouse(10, 10, true));
    miGui::DispatchMouse(1, Mouse(500, 10, false)); // released elsewhere: still held
    miGui::DispatchMouse(0, Mouse(55, 10, true));
    EXPECT_FLOAT_EQ(slider.value, 0.5f);
    miGui::DispatchMouse(1, Mouse(55, 10, false));
    miGui::DispatchMouse(0, Mouse(105, 10, false));
    EXPECT_FLOAT_EQ(slider.value, 0.5f);
    miGui::ReleaseWidget(slider);
}

TEST(Slider, TrackTooShortKeepsAFiniteValue)
{
    AssetTree tree;
    tree.Write("s", "numSprites=2\nid=0 width=12 height=24\nid=1 width=16 height=28\n");
    miGui::SliderWidget slider;
    miGui::InitSlider(slider, "s", 0, 1, 2, 2, 2); // no track and no range
    EXPECT_FLOAT_EQ(slider.trackLength, 0);
    EXPECT_FLOAT_EQ(slider.knobOffset, 0);
    slider.x = slider.y = 0;
    miGui::DispatchMouse(1, Mouse(6, 6, true));
    miGui::DispatchMouse(0, Mouse(8, 6, true));
    EXPECT_FLOAT_EQ(slider.value, 2);
    miGui::ReleaseWidget(slider);
}

TEST(Quads, CentredCoordinatesAndTextureRange)
{
    AssetTree tree;
    tree.Write("options", "numSprites=2\nid=0 x=100 y=200 width=40 height=20 anchorx=3 anchory=4\n"
                          "id=1 x=0 y=0 width=8 height=8\n");
    miGui::CheckboxWidget box;
    miGui::InitCheckbox(box, 0, 1, false, 1000, 500);
    box.x = 10;
    box.y = 30;
    miGui::BuildQuads(box, 800, 600);
    ASSERT_EQ(box.batch.vertexCount, 6);
    const float left = 10 - 400 + 3, top = 300 - 30 - 4;
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f, minU = 1e9f, maxU = -1e9f, minV = 1e9f,
          maxV = -1e9f;
    for (int i = 0; i < 6; ++i)
    {
        const miGui::SpriteVertex& v = box.batch.vertices[i];
        minX = std::min(minX, v.x), maxX = std::max(maxX, v.x), minY = std::min(minY, v.y),
        maxY = std::max(maxY, v.y);
        minU = std::min(minU, v.u), maxU = std::max(maxU, v.u), minV = std::min(minV, v.v),
        maxV = std::max(maxV, v.v);
        EXPECT_FLOAT_EQ(v.z, 0);
        // The top edge takes the sprite's top row of texels.
        if (v.y == top)
        {
            EXPECT_FLOAT_EQ(v.v, 0.4f);
        }
        if (v.x == left)
        {
            EXPECT_FLOAT_EQ(v.u, 0.1f);
        }
    }
    EXPECT_FLOAT_EQ(minX, left);
    EXPECT_FLOAT_EQ(maxX, left + 40);
    EXPECT_FLOAT_EQ(maxY, top);
    EXPECT_FLOAT_EQ(minY, top - 20);
    EXPECT_FLOAT_EQ(minU, 0.1f);
    EXPECT_FLOAT_EQ(maxU, 0.14f);
    EXPECT_FLOAT_EQ(minV, 0.4f);
    EXPECT_FLOAT_EQ(maxV, 0.44f);
    // Checked: the other sprite; rebuilding does not pile quads up.
    box.state = 1;
    miGui::BuildQuads(box, 800, 600);
    ASSERT_EQ(box.batch.vertexCount, 6);
    EXPECT_FLOAT_EQ(box.batch.vertices[0].u, 0);
    miGui::ReleaseWidget(box);
}

TEST(Quads, SliderKnobSitsAtItsOffset)
{
    AssetTree tree;
    tree.Write("s", "numSprites=2\nid=0 width=120 height=24\nid=1 x=0 y=0 width=16 height=28\n");
    miGui::SliderWidget slider;
    miGui::InitSlider(slider, "s", 0, 1, 0, 1, 0.25f); // knob offset 25
    slider.x = 0;
    slider.y = 0;
    miGui::BuildQuads(slider, 200, 100);
    ASSERT_EQ(slider.batch.vertexCount, 12);
    // Knob: left = x + 25 + 10 - 8 - W/2, top = H/2 - (y - (14 - 12)).
    float left = 1e9f, top = -1e9f;
    for (int i = 6; i < 12; ++i)
        left = std::min(left, slider.batch.vertices[i].x), top = std::max(top, slider.batch.vertices[i].y);
    EXPECT_FLOAT_EQ(left, 27 - 100);
    EXPECT_FLOAT_EQ(top, 50 + 2);
    miGui::ReleaseWidget(slider);
}

// The shipped sheets hold every sprite the menu names, inside their textures.
TEST(ShippedSheets, HoldTheMenusSprites)
{
    mirel::SetAssetRoot(MIREL_SOURCE_ASSETS);
    miGui::SpriteSheets().Clear();
    mirel::test::ReportCapture reports;
    struct Want
    {
        const char* sheet;
        float size;
        int count;
    } wants[] = {{"options", 1024, 28}, {"sprite_sheet_1", 256, 17}};
    for (const Want& w : wants)
    {
        SpriteSheet* sheet = miGui::LoadSpriteSheet(w.sheet, w.size, w.size);
        ASSERT_NE(sheet, nullptr);
        ASSERT_EQ(sheet->sprites.count, w.count) << w.sheet;
        for (int i = 0; i < w.count; ++i)
        {
            const Sprite& s = *sheet->At(i);
            EXPECT_EQ(s.id, i) << w.sheet;
            EXPECT_GT(s.width, 0) << w.sheet << " " << i;
            EXPECT_GT(s.height, 0) << w.sheet << " " << i;
            EXPECT_LE(s.x + s.width, w.size) << w.sheet << " " << i;
            EXPECT_LE(s.y + s.height, w.size) << w.sheet << " " << i;
        }
    }
    EXPECT_EQ(reports.Count(), 0);
    miGui::SpriteSheets().Clear();
}

// ---- The options menu.

miCadora::DetectionRecord g_record;
const miCadora::DetectionRecord* g_recordPtr = nullptr;
int g_cadoraCalls = 0;
bool g_cadoraLast = false;
int g_cameraMode = -1;

miGui::MenuEnv Env(int refreshHz, bool usable, bool debugGui = false)
{
    g_record = miCadora::DetectionRecord{};
    g_record.minRefreshMilliHz = usable ? 40000 : 0;
    g_record.maxRefreshMilliHz = usable ? 144000 : 0;
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

class Menu : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        mirel::SetAssetRoot(MIREL_SOURCE_ASSETS);
        miGui::SpriteSheets().Clear();
        miGui::ClearWidgets();
        miCadora::State().redbarVisible = false;
    }
    void TearDown() override
    {
        miGui::Menu().Release();
        miGui::ClearWidgets();
        miGui::SpriteSheets().Clear();
    }
    int Layout() { return miGui::Menu().Layout(1280, 720, drawn, miGui::kMaxDrawnWidgets); }
    bool Drawn(const miGui::Widget* w, int n) const
    {
        for (int i = 0; i < n; ++i)
            if (drawn[i] == w) return true;
        return false;
    }
    void Click(const miGui::Widget& w)
    {
        miGui::DispatchMouse(1, Mouse(w.x + 2, w.y + 2, true));
        miGui::DispatchMouse(1, Mouse(w.x + 2, w.y + 2, false));
    }
    miGui::Widget* drawn[miGui::kMaxDrawnWidgets] = {};
};

TEST_F(Menu, WidgetsSitWhereTheLayoutPutsThem)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(60, false));
    const int n = Layout();
    struct Place
    {
        const miGui::Widget* w;
        float x, y;
    } places[] = {{&m.frame, 10, 10},           {&m.vrrBox, 210, 90},          {&m.vsyncBox, 210, 148},
                  {&m.redbarBox, 215, 615},     {&m.animSpeedSlider, 26, 560}, {m.fpsBoxes[6], 82, 327},
                  {m.cameraBoxes[0], 160, 379}, {m.cameraBoxes[1], 160, 415},  {m.cameraBoxes[2], 160, 451}};
    for (const Place& p : places)
    {
        EXPECT_TRUE(Drawn(p.w, n));
        EXPECT_FLOAT_EQ(p.w->x, p.x);
        EXPECT_FLOAT_EQ(p.w->y, p.y);
        EXPECT_GT(p.w->batch.vertexCount, 0);
    }
    // The frame is drawn first, under everything else.
    EXPECT_EQ(drawn[0], &m.frame);
    // Debug controls are not part of the plain menu.
    EXPECT_FALSE(Drawn(&m.fpsSlider, n));
    EXPECT_FALSE(Drawn(&m.sweepMaxBox, n));
    EXPECT_FALSE(Drawn(&m.sweepSlider, n));
}

struct RowCase
{
    const char* what;
    int refreshHz;
    bool usable;
    int minRefreshHz;
    std::vector<int> boxes; // drawn fps boxes in order
};

class MenuRows : public Menu, public ::testing::WithParamInterface<RowCase>
{
};

TEST_P(MenuRows, FpsBoxesFromFirstUsableToTheSweepTop)
{
    const RowCase& c = GetParam();
    miGui::OptionsMenu& m = miGui::Menu();
    miGui::MenuEnv env = Env(c.refreshHz, c.usable);
    g_record.minRefreshMilliHz = c.minRefreshHz * 1000;
    m.Build(env);
    const int n = Layout();
    std::vector<int> got;
    for (int i = 0; i < 6; ++i)
        if (Drawn(m.fpsBoxes[i], n)) got.push_back(i);
    EXPECT_EQ(got, c.boxes) << c.what;
    for (size_t k = 0; k < got.size(); ++k)
    {
        const miGui::Widget* w = m.fpsBoxes[got[k]];
        const int col = static_cast<int>(k < 3 ? k : k - 3);
        EXPECT_FLOAT_EQ(w->x, 10 + 10 + 85.0f * col) << c.what << " box " << got[k];
        EXPECT_FLOAT_EQ(w->y, k < 3 ? 255 : 291) << c.what << " box " << got[k];
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, MenuRows,
                         ::testing::Values(
                             // No usable display: 45 to 60, boxes 2..5.
                             RowCase{"fixed refresh", 60, false, 0, {2, 3, 4, 5}},
                             // 30 Hz minimum: lo 35, 60 Hz refresh: hi 55.
                             RowCase{"wide range", 60, true, 30, {0, 1, 2, 3, 4}},
                             // 35 Hz minimum gives lo 40; 55 Hz refresh gives hi 50: boxes 1..3, one row.
                             RowCase{"sweep top 50", 55, true, 35, {1, 2, 3}}));

TEST_F(Menu, FpsChoiceSetsTheRateAndClearsTheOthers)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(60, false));
    EXPECT_FLOAT_EQ(m.fpsSlider.value, 50);
    EXPECT_TRUE(m.fpsBoxes[3]->Checked());
    Layout();
    Click(*m.fpsBoxes[4]);
    EXPECT_FLOAT_EQ(m.fpsSlider.value, 55);
    EXPECT_FLOAT_EQ(m.sweepSlider.value, 0);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(m.fpsBoxes[i]->Checked(), i == 4) << i;
    // Clicking the chosen box again keeps it chosen.
    Click(*m.fpsBoxes[4]);
    EXPECT_TRUE(m.fpsBoxes[4]->Checked());
    Click(*m.fpsBoxes[6]);
    EXPECT_FLOAT_EQ(m.sweepSlider.value, 1);
    EXPECT_FALSE(m.fpsBoxes[4]->Checked());
    m.StoreControls();
    const miCadora::DemoState& in = miCadora::State();
    EXPECT_FLOAT_EQ(in.sweepSwitch, 1);
    EXPECT_FLOAT_EQ(in.targetFps, 55);
    EXPECT_FLOAT_EQ(in.sweepLowFps, 45);
    EXPECT_FLOAT_EQ(in.sweepHighFps, 60);
}

TEST_F(Menu, FreeSliderModeIgnoresTheBoxes)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(144, false, true));
    EXPECT_FLOAT_EQ(m.fpsSlider.min, 0);
    EXPECT_FLOAT_EQ(m.fpsSlider.max, 144);
    EXPECT_FLOAT_EQ(m.fpsSlider.value, 50);
    const int n = Layout();
    EXPECT_TRUE(Drawn(&m.fpsSlider, n));
    EXPECT_FLOAT_EQ(m.fpsSlider.x, 410);
    EXPECT_FLOAT_EQ(m.sweepMaxBox.y, 70);
    Click(*m.fpsBoxes[4]);
    EXPECT_FALSE(m.fpsBoxes[4]->Checked());
    EXPECT_TRUE(m.fpsBoxes[3]->Checked());
    EXPECT_FLOAT_EQ(m.fpsSlider.value, 50);
}

TEST_F(Menu, VariableRefreshBoxFollowsTheDisplay)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(60, true));
    // A usable display is switched on at once and its box starts checked.
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

TEST_F(Menu, UnusableDisplayForcesTheBoxOff)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(60, false));
    EXPECT_EQ(g_cadoraCalls, 0);
    Layout();
    Click(m.vrrBox);
    EXPECT_FALSE(m.vrrBox.Checked());
    EXPECT_EQ(g_cadoraCalls, 0);
}

TEST_F(Menu, CameraBoxesFormOneGroup)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(60, false));
    EXPECT_TRUE(m.cameraBoxes[2]->Checked());
    Layout();
    Click(*m.cameraBoxes[0]);
    EXPECT_EQ(g_cameraMode, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m.cameraBoxes[i]->Checked(), i == 0);
    Click(*m.cameraBoxes[0]);
    EXPECT_TRUE(m.cameraBoxes[0]->Checked());
}

TEST_F(Menu, RedbarFollowsItsBoxAndCameraIsHandedBackWhenHidden)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(60, false));
    Layout();
    Click(m.redbarBox);
    EXPECT_FALSE(miCadora::State().redbarVisible); // picked up when the menu is next drawn
    Layout();
    EXPECT_TRUE(miCadora::State().redbarVisible);

    miCamera::cameraControlEnabled = true;
    m.UpdateCameraHandOver();
    EXPECT_FALSE(miCamera::cameraControlEnabled);
    m.Toggle();
    m.UpdateCameraHandOver();
    EXPECT_TRUE(miCamera::cameraControlEnabled); // free camera box checked
}

// The update step reads the blade slider and the vertical-sync box from the demo state every
// frame: the build writes them, and the mouse's changes reach the state at once.
TEST_F(Menu, BladeSliderAndVerticalSyncReachTheStateAsTheyChange)
{
    miCadora::DemoState& s = miCadora::State();
    miGui::OptionsMenu& m = miGui::Menu();
    for (bool vsync : {false, true})
    {
        s.bladeSlider = -1.0f;
        s.verticalSync = !vsync;
        miGui::MenuEnv env = Env(60, false);
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
        miGui::SliderWidget& slider = m.animSpeedSlider;
        miGui::DispatchMouse(1, Mouse(slider.x + 2, slider.y + 2, true));
        miGui::DispatchMouse(0, Mouse(slider.x + 2, slider.y + 2, true));
        EXPECT_FLOAT_EQ(slider.value, 0.3f);
        EXPECT_FLOAT_EQ(s.bladeSlider, 0.3f) << vsync;
        miGui::DispatchMouse(1, Mouse(slider.x + 2, slider.y + 2, false));
    }
}

// The control step reads what the menu showed when its view last executed: a choice reaches the
// demo state then, not when it is clicked.
TEST_F(Menu, ControlValuesReachTheStateWhenTheViewExecutes)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(60, false));
    Layout();
    miCadora::DemoState& s = miCadora::State();
    s.targetFps = s.sweepSwitch = s.sweepLowFps = s.sweepHighFps = s.fpsSliderMax = 0.0f;
    s.sweepToSliderMax = true;
    Click(*m.fpsBoxes[4]);
    EXPECT_FLOAT_EQ(m.fpsSlider.value, 55);
    EXPECT_FLOAT_EQ(s.targetFps, 0.0f);

    // Hidden, the view draws nothing but still hands the values over.
    m.Toggle();
    miRender::Gui_RV view("Gui_RV");
    view.Execute();
    EXPECT_EQ(view.drawnCount, 0);
    EXPECT_FLOAT_EQ(s.targetFps, 55);
    EXPECT_FLOAT_EQ(s.sweepSwitch, 0);
    EXPECT_FLOAT_EQ(s.sweepLowFps, 45);
    EXPECT_FLOAT_EQ(s.sweepHighFps, 60);
    EXPECT_FLOAT_EQ(s.fpsSliderMax, 60);
    EXPECT_FALSE(s.sweepToSliderMax);
}

TEST_F(Menu, HiddenMenuDoesNotAnswerTheMouse)
{
    miGui::OptionsMenu& m = miGui::Menu();
    m.Build(Env(60, false));
    Layout();
    const float x = m.redbarBox.x, y = m.redbarBox.y;
    m.Toggle();
    EXPECT_EQ(Layout(), 0);
    miGui::DispatchMouse(1, Mouse(x + 2, y + 2, true));
    miGui::DispatchMouse(1, Mouse(x + 2, y + 2, false));
    EXPECT_FALSE(m.redbarBox.Checked());
}

TEST_F(Menu, UnattendedRunsSeeThePinnedChoiceInTheMenu)
{
    struct Case
    {
        const char* fixedFps; // null: absent
        bool sweep;
        int checkedBox;
        float fps, sweepOn;
    };
    // No usable display: boxes 2 (45 fps) to 6 (the sweep) answer.
    const Case cases[] = {{nullptr, false, 3, 50, 0}, {"55", false, 4, 55, 0},   {"40", false, -1, 50, 0},
                          {"52", false, 3, 50, 0},    {nullptr, true, 6, 50, 1}, {"60", true, 6, 60, 1}};
    miGui::OptionsMenu& m = miGui::Menu();
    for (const Case& c : cases)
    {
        mirel::test::PinRate(c.fixedFps, c.sweep ? "true" : nullptr);
        m.Build(Env(60, false));
        for (int i = 2; i < 7; ++i)
            EXPECT_EQ(m.fpsBoxes[i]->Checked(), i == c.checkedBox) << c.fixedFps << " " << i;
        m.StoreControls();
        const miCadora::DemoState& in = miCadora::State();
        EXPECT_FLOAT_EQ(in.targetFps, c.fps) << c.fixedFps;
        EXPECT_FLOAT_EQ(in.sweepSwitch, c.sweepOn) << c.fixedFps;
    }
    mirel::ClearProperties();
}

// The pointer where the test puts it, for the input system's mouse messages.
class Pointer final : public miInput::InputPlatform
{
  public:
    bool LoadPad() override { return false; }
    bool ReadPad(miInput::RawPad&) override { return false; }
    bool WindowHasFocus() override { return true; }
    bool KeyHeld(char) override { return false; }
    bool CursorPosition(float& px, float& py) override
    {
        px = x, py = y;
        return true;
    }
    float x = 0, y = 0;
};

// Built twice through its view, as a second start-up or a second Init() does: one menu answers the
// mouse, hotkey 1 toggles it once, and nothing of the first build stays registered or allocated.
TEST_F(Menu, ViewBuiltTwiceLeavesOneMenuOneHotkeyAndNoBuffers)
{
    mirel::test::ReportCapture reports;
    mirel::test::FakeDevice host;
    host.anyTarget = 0;
    host.constantBuffers = false;
    Pointer pointer;
    miRender::SetDeviceHost(&host);
    miInput::SetInputPlatform(&pointer);
    miInput::g_inputModule.Init();
    miInput::ClearMouseListeners();

    miRender::Gui_RV view("Gui_RV");
    view.env = Env(60, false);
    for (int start = 0; start < 2; ++start)
    {
        miGui::RegisterGuiListeners();
        view.Init();
    }
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
    EXPECT_EQ(miGui::WidgetCount(), 8 + 7 + 3);
    EXPECT_EQ(host.vertexBuffers.size(), 8u + 7 + 3);
    miGui::OptionsMenu& m = miGui::Menu();
    view.Execute();

    // Under ASan a box of the first build still registered is a use after free here.
    pointer.x = m.redbarBox.x + 2, pointer.y = m.redbarBox.y + 2;
    for (uint32_t message : {0x0201u, 0x0202u}) // button down, up
    {
        miInput::OnMouseMessage(message);
        miInput::g_inputModule.Update();
    }
    EXPECT_TRUE(m.redbarBox.Checked()) << "a click toggles the box once";
    miInput::Keyboard().keyState[static_cast<unsigned char>('1')].store(1);
    miInput::g_inputModule.Update();
    EXPECT_FALSE(m.shown) << "hotkey 1 hides the menu";

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
