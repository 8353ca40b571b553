// Hotkeys, mouse, pad, console and the pump's routing, through a scripted input platform.
#include "core/props.h"
#include "core/utils.h"
#include "frametimer.h"
#include "input/console.h"
#include "input/input.h"
#include "mainloop.h"
#include "pump.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace
{

using mirel::Route;
using mirel::msg::kChar;
using mirel::msg::kKeyDown;
using mirel::msg::kKeyUp;
constexpr uintptr_t kVkGrave = 0xC0;

class ScriptedPlatform : public miInput::InputPlatform
{
  public:
    bool LoadPad() override { return padLibrary; }
    bool ReadPad(miInput::RawPad& out) override
    {
        if (!padPlugged) return false;
        out = pad;
        return true;
    }
    bool WindowHasFocus() override { return focus; }
    bool KeyHeld(char key) override { return held[key]; }
    bool CursorPosition(float& x, float& y) override
    {
        if (!cursorKnown) return false;
        x = cursorX;
        y = cursorY;
        return true;
    }
    bool padLibrary = true, padPlugged = true, focus = true, cursorKnown = true;
    miInput::RawPad pad{};
    std::map<char, bool> held;
    float cursorX = 0, cursorY = 0;
};

std::string g_fired;
void FireM()
{
    g_fired += 'M';
}
void FireW()
{
    g_fired += 'W';
}
void FireZ()
{
    g_fired += 'Z';
}
void Fire4Ctrl()
{
    g_fired += '4';
}
void Fire4Plain()
{
    g_fired += 'f';
}

std::vector<miInput::MouseEvent> g_moves;
void OnMove(const miInput::MouseEvent& e)
{
    g_moves.push_back(e);
}

miInput::KeyBinding Key(char key, void (*cb)(), int32_t modifier = miInput::kModNone, bool repeat = false)
{
    miInput::KeyBinding b;
    b.key = key;
    b.callback = cb;
    b.modifier = modifier;
    b.repeatWhileHeld = repeat ? 1 : 0;
    return b;
}

class InputTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        mirel::ClearProperties();
        mirel::ClearEngineState();
        mirel::g_engineState.uiMode.store(mirel::kUiNone);
        miInput::SetInputPlatform(&platform_);
        miInput::ClearMouseListeners();
        miInput::g_inputModule.Init();
        miInput::ConsoleClear();
        g_fired.clear();
        g_moves.clear();
    }
    void TearDown() override { miInput::SetInputPlatform(nullptr); }

    // A key message as the pump sees it; letters and digits map to themselves.
    Route Send(uint32_t message, uintptr_t vk, uint32_t ch = 0)
    {
        return mirel::RouteFocusedMessage(pump_, message, vk, ch ? ch : static_cast<uint32_t>(vk));
    }
    void Press(char c)
    {
        Send(kKeyDown, static_cast<uintptr_t>(c));
        Send(kKeyUp, static_cast<uintptr_t>(c));
    }
    // A real stroke: key-down, the character TranslateMessage makes of it, key-up.
    void Stroke(uintptr_t vk, uint32_t mapped, uintptr_t ch)
    {
        Send(kKeyDown, vk, mapped);
        Send(kChar, ch);
        Send(kKeyUp, vk, mapped);
    }
    void ConsoleKey() { Stroke(kVkGrave, '`', '`'); }
    void Type(const std::string& text)
    {
        for (char c : text)
            Send(kChar, static_cast<uintptr_t>(static_cast<unsigned char>(c)));
    }
    void Poll() { miInput::g_inputModule.Update(); }

    ScriptedPlatform platform_;
    mirel::PumpState pump_;
};

TEST_F(InputTest, KeyDownFiresOncePerMessageAndHeldRepeatKeysEveryPoll)
{
    miInput::RegisterKey(Key('M', FireM));
    miInput::RegisterKey(Key('W', FireW, miInput::kModNone, true));
    Send(kKeyDown, 'M');
    Poll();
    Poll();
    EXPECT_EQ(g_fired, "M") << "the key state is cleared after each poll";
    Send(kKeyDown, 'M'); // auto-repeat
    Poll();
    EXPECT_EQ(g_fired, "MM");
    Press('M'); // down and up before the next poll: a tap is not lost
    Poll();
    EXPECT_EQ(g_fired, "MMM");

    g_fired.clear();
    platform_.held['W'] = true;
    Poll();
    Poll();
    Poll();
    EXPECT_EQ(g_fired, "WWW");
    platform_.held['W'] = false;
    Poll();
    EXPECT_EQ(g_fired, "WWW");
}

TEST_F(InputTest, ModifierRecordsNeedTheirModifierPlainOnesFireRegardless)
{
    mirel::test::ReportCapture reports; // '4' is registered twice on purpose
    miInput::RegisterKey(Key('4', Fire4Ctrl, miInput::kModControl));
    miInput::RegisterKey(Key('4', Fire4Plain));
    EXPECT_EQ(reports.Count(), 1);
    Send(kKeyDown, '4');
    Poll();
    EXPECT_EQ(g_fired, "f");
    g_fired.clear();
    Send(kKeyDown, mirel::msg::kVkControl, 0);
    Send(kKeyDown, '4');
    Poll();
    EXPECT_EQ(g_fired, "4f");
    Send(kKeyUp, mirel::msg::kVkControl, 0);
    g_fired.clear();
    Send(kKeyDown, '4');
    Poll();
    EXPECT_EQ(g_fired, "f");
}

TEST_F(InputTest, DuplicateRegistrationsAreReportedAndBothFire)
{
    struct Case
    {
        miInput::KeyBinding first, second;
        const char* message;
    };
    miInput::KeyBinding f5a = Key(0, FireM), f5b = Key(0, FireZ);
    f5a.functionKey = f5b.functionKey = 5;
    const Case cases[] = {
        {Key('Z', FireZ), Key('Z', FireM, miInput::kModShift), "This key is already registered for: Z"},
        {f5a, f5b, "A function key is used for more than one event: 5"},
    };
    for (const Case& c : cases)
    {
        miInput::g_inputModule.Init();
        mirel::test::ReportCapture reports;
        miInput::RegisterKey(c.first);
        miInput::RegisterKey(c.second);
        EXPECT_EQ(reports.Count(), 1) << c.message;
        EXPECT_NE(reports.Last().find(c.message), std::string::npos) << reports.Last();
        EXPECT_EQ(miInput::RegisteredKeyCount(), 2);
    }
    // Different keys, and function keys against character keys, are no conflict.
    miInput::g_inputModule.Init();
    mirel::test::ReportCapture reports;
    miInput::RegisterKey(Key('A', FireM));
    miInput::RegisterKey(Key('B', FireM));
    miInput::RegisterKey(f5a);
    EXPECT_EQ(reports.Count(), 0);
}

TEST_F(InputTest, ConsoleTakesLettersAndTheGraveAccentStillToggles)
{
    miInput::RegisterKey(Key('`', miInput::ToggleConsole));
    miInput::RegisterKey(Key('Z', FireZ));
    Press('`');
    Poll();
    ASSERT_TRUE(miInput::ConsoleOpen());
    Send(kKeyDown, 'Z');
    Type("z");
    Poll();
    EXPECT_EQ(g_fired, "") << "hotkeys are off while the console is open";
    EXPECT_STREQ(miInput::ConsoleLine(), "z");
    // The grave accent is routed as a key while the console is open.
    Press('`');
    Poll();
    EXPECT_FALSE(miInput::ConsoleOpen()) << "the grave accent closes the console";
}

TEST_F(InputTest, LineEditing)
{
    mirel::g_engineState.uiMode.store(mirel::kUiConsole);
    struct Case
    {
        std::string typed;
        const char* line;
    };
    const Case cases[] = {
        {"abc\b", "ab"},
        {"\b\b", ""},      // backspace on an empty line
        {"abc\tde", "de"}, // tab discards the typed text
        {"plq\r", ""},     // carriage return executes and empties
    };
    for (const Case& c : cases)
    {
        miInput::ConsoleClear();
        Type(c.typed);
        EXPECT_STREQ(miInput::ConsoleLine(), c.line) << c.typed;
        EXPECT_EQ(miInput::ConsoleLength(), static_cast<int32_t>(std::string(c.line).size()));
    }
    miInput::ConsoleClear();
    Type(std::string(400, 'x'));
    EXPECT_EQ(miInput::ConsoleLength(), miInput::kConsoleCapacity - 1)
        << "the line never overruns its buffer";
}

TEST_F(InputTest, KeyboardLockBlocksEverythingButTheConsoleKey)
{
    miInput::RegisterKey(Key('`', miInput::ToggleConsole));
    miInput::RegisterKey(Key('Z', FireZ));
    miInput::RegisterMouseListener(miInput::kMouseMove, OnMove);

    // The console key as typed: its character arrives before the poll toggles the console.
    ConsoleKey();
    Poll();
    ASSERT_TRUE(miInput::ConsoleOpen());
    Type("plq_hold ");
    Stroke(mirel::msg::kVkReturn, 13, 13);
    EXPECT_FALSE(miInput::IsKeyboardLocked()) << "a trailing blank is not the command";
    Type("plq_hold");
    Stroke(mirel::msg::kVkReturn, 13, 13);
    ASSERT_TRUE(miInput::IsKeyboardLocked());
    ConsoleKey();
    Poll();
    ASSERT_FALSE(miInput::ConsoleOpen()) << "the console key closes the console while locked";

    EXPECT_EQ(Send(kKeyDown, 27, 27), Route::kContinue) << "Escape never quits while locked";
    Send(kKeyDown, 'Z');
    mirel::RouteFocusedMessage(pump_, 0x0200, 0, 0);
    Poll();
    EXPECT_EQ(g_fired, "");
    EXPECT_TRUE(g_moves.empty()) << "mouse messages do not reach the input system while locked";

    ConsoleKey();
    Poll();
    ASSERT_TRUE(miInput::ConsoleOpen());
    EXPECT_STREQ(miInput::ConsoleLine(), "") << "the console key leaves no character behind";
    Type("plq_unhold\r");
    EXPECT_FALSE(miInput::IsKeyboardLocked());
    EXPECT_EQ(Send(kKeyDown, 27, 27), Route::kContinue) << "the first Escape closes the console";
    EXPECT_FALSE(miInput::ConsoleOpen());
    Send(kKeyDown, 'Z');
    Poll();
    EXPECT_EQ(g_fired, "Z");
    EXPECT_EQ(Send(kKeyDown, 27, 27), Route::kQuit);
}

TEST_F(InputTest, PauseAndSpace)
{
    Send(kKeyDown, mirel::msg::kVkPause, 0);
    EXPECT_TRUE(pump_.paused);
    Send(kKeyDown, 'A');
    EXPECT_TRUE(pump_.paused) << "only Space resumes";
    Send(kKeyDown, mirel::msg::kVkSpace, ' ');
    EXPECT_FALSE(pump_.paused);
}

TEST_F(InputTest, HighCharactersNeverIndexOutsideTheKeyState)
{
    // Dead keys come back from the key mapping with the top bit set.
    Send(kKeyDown, 0xDE, 0x80000000u | '^');
    Send(kKeyDown, 0xBA, 0x1FF);
    int set = 0;
    for (auto& entry : miInput::Keyboard().keyState)
        set += entry.load();
    EXPECT_EQ(set, 0);
}

TEST_F(InputTest, MouseDeltasStartAfterTheFirstKnownPosition)
{
    miInput::RegisterMouseListener(miInput::kMouseMove, OnMove);
    platform_.cursorX = 100;
    platform_.cursorY = 50;
    miInput::OnMouseMessage(0x0200);
    Poll();
    ASSERT_EQ(g_moves.size(), 1u);
    EXPECT_EQ(g_moves[0].dx, 0.0f);
    EXPECT_EQ(g_moves[0].x, 100.0f);
    platform_.cursorX = 130;
    platform_.cursorY = 40;
    miInput::OnMouseMessage(0x0200);
    miInput::OnMouseMessage(0x0201); // left down
    Poll();
    ASSERT_EQ(g_moves.size(), 2u);
    EXPECT_EQ(g_moves[1].dx, 30.0f);
    EXPECT_EQ(g_moves[1].dy, -10.0f);
    EXPECT_EQ(g_moves[1].leftDown, 1);
    Poll();
    EXPECT_EQ(g_moves.size(), 2u) << "events are raised once per message";
    platform_.cursorKnown = false;
    miInput::OnMouseMessage(0x0200);
    Poll();
    ASSERT_EQ(g_moves.size(), 3u);
    EXPECT_EQ(g_moves[2].x, 130.0f) << "an unknown position keeps the last one";
    EXPECT_EQ(g_moves[2].dx, 0.0f);
}

TEST_F(InputTest, PadDeadZonesInvertedRightStickAndUnplugging)
{
    struct Case
    {
        int16_t lx, ly, rx, ry;
        float left[2], right[2];
    };
    const int16_t p20 = static_cast<int16_t>(0.2 * 32767), p30 = static_cast<int16_t>(0.3 * 32767);
    const Case cases[] = {
        {p20, p20, p20, -p20, {0, 0}, {0, 0}},
        {p30, p20, p20, p30, {p30 / 32767.0f, p20 / 32767.0f}, {p20 / 32767.0f, -p30 / 32767.0f}},
        {-32767, 0, 0, -32767, {-1, 0}, {0, 1}},
    };
    for (const Case& c : cases)
    {
        platform_.pad = {0x1234, 10, 200, c.lx, c.ly, c.rx, c.ry};
        Poll();
        const auto& pad = miInput::Gamepad();
        EXPECT_EQ(pad.connected, 1);
        EXPECT_EQ(pad.buttons, 0x1234u | (10u << 16) | (200u << 24));
        EXPECT_FLOAT_EQ(pad.leftStick[0], c.left[0]);
        EXPECT_FLOAT_EQ(pad.leftStick[1], c.left[1]);
        EXPECT_FLOAT_EQ(pad.rightStick[0], c.right[0]);
        EXPECT_FLOAT_EQ(pad.rightStick[1], c.right[1]);
    }
    // Losing the focus with a stick and buttons held drops them; the pad is not read meanwhile.
    platform_.focus = false;
    Poll();
    EXPECT_EQ(miInput::Gamepad().buttons, 0u);
    EXPECT_EQ(miInput::Gamepad().leftStick[0], 0.0f);
    EXPECT_EQ(miInput::Gamepad().rightStick[1], 0.0f);
    platform_.focus = true;
    Poll();
    EXPECT_FLOAT_EQ(miInput::Gamepad().rightStick[1], 1.0f) << "the focus back, the pad is read again";
    platform_.padPlugged = false;
    Poll();
    EXPECT_EQ(miInput::Gamepad().connected, 0);
    EXPECT_EQ(miInput::Gamepad().buttons, 0u);
    EXPECT_EQ(miInput::Gamepad().leftStick[0], 0.0f);
    EXPECT_EQ(miInput::Gamepad().rightStick[1], 0.0f);
}

TEST_F(InputTest, NoPadLibraryMeansAZeroedDisconnectedPad)
{
    platform_.padLibrary = false;
    miInput::g_inputModule.Init();
    platform_.pad = {0xFFFF, 255, 255, 32767, 32767, 32767, 32767};
    Poll();
    EXPECT_EQ(miInput::Gamepad().connected, 0);
    EXPECT_EQ(miInput::Gamepad().buttons, 0u);
    EXPECT_EQ(miInput::Gamepad().leftStick[0], 0.0f);
}

TEST_F(InputTest, DrawConsoleShowsPromptLineAndCursorInTheFontColour)
{
    mirel::TextList list;
    list.count = 3;
    mirel::g_engineState.uiMode.store(mirel::kUiConsole);
    Type("plq");
    miInput::DrawConsole(list);
    ASSERT_EQ(list.count, 1);
    EXPECT_STREQ(list.lines[0].text, ">> plq_");
    EXPECT_EQ(list.lines[0].colour[0], 1.0f);
    EXPECT_EQ(list.lines[0].colour[3], 0.0f);
    mirel::RegisterProperty("render_init.fontColor", mirel::kPropFloat4);
    mirel::SetPropertyFloat4("render_init.fontColor", 0.5f, 0.25f, 1.0f, 1.0f);
    miInput::DrawConsole(list);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.lines[0].colour[1], 0.25f);
}

TEST_F(InputTest, WindowResizeFollowsTheFullscreenSwitch)
{
    struct Case
    {
        const char* fullscreen;
        float expectX;
    };
    const Case cases[] = {{"false", 640.0f}, {"true", 1280.0f}, {nullptr, 1280.0f}};
    for (const Case& c : cases)
    {
        mirel::ClearProperties();
        mirel::RegisterProperty("render_init.resolutionX", mirel::kPropFloat);
        mirel::RegisterProperty("render_init.resolutionY", mirel::kPropFloat);
        mirel::SetPropertyFloat("render_init.resolutionX", 1280.0f);
        mirel::SetPropertyFloat("render_init.resolutionY", 720.0f);
        if (c.fullscreen)
        {
            mirel::RegisterProperty("render_init.fullscreen", mirel::kPropString);
            mirel::SetPropertyString("render_init.fullscreen", c.fullscreen);
        }
        mirel::g_resizePending.store(0);
        mirel::OnWindowResized(640, 480);
        EXPECT_EQ(mirel::GetPropertyFloat("render_init.resolutionX"), c.expectX)
            << (c.fullscreen ? c.fullscreen : "-");
        EXPECT_EQ(mirel::g_resizePending.load(), 1) << "a resize is requested in every case";
    }
}

// The frame timer on a scripted counter (1000 counts per second).
int64_t g_counter = 0;
int64_t ScriptedCounter(int64_t* frequency)
{
    if (frequency) *frequency = 1000;
    return g_counter;
}

TEST(FrameTimer, TicksOncePerArmingAndCountsWholeSeconds)
{
    mirel::SetCounterSource(ScriptedCounter);
    g_counter = 5000;
    mirel::FrameTimer timer;
    g_counter += 250;
    timer.Tick();
    EXPECT_FLOAT_EQ(timer.delta, 0.25f);
    EXPECT_FLOAT_EQ(timer.instantFps, 4.0f);
    g_counter += 500;
    timer.Tick();
    EXPECT_FLOAT_EQ(timer.delta, 0.25f) << "a second tick without re-arming keeps the first";
    EXPECT_FLOAT_EQ(timer.elapsed, 0.25f);

    timer.Reset();
    for (int i = 0; i < 4; ++i)
    {
        timer.ticked = 0;
        g_counter += 250;
        timer.Tick();
    }
    EXPECT_FLOAT_EQ(timer.fps, 0.0f) << "exactly one second is not more than one";
    timer.ticked = 0;
    g_counter += 10;
    timer.Tick();
    EXPECT_FLOAT_EQ(timer.fps, 5.0f);

    timer.Reset();
    for (int i = 0; i < 15; ++i)
    {
        timer.ticked = 0;
        g_counter += 10;
        timer.Tick();
    }
    EXPECT_FLOAT_EQ(timer.averageFps, 0.0f);
    timer.ticked = 0;
    g_counter += 20;
    timer.Tick();
    EXPECT_NEAR(timer.averageFps, (15 * 100.0f + 50.0f) / 16.0f, 0.01f);
    mirel::SetCounterSource(nullptr);
}

int64_t NoFrequency(int64_t* frequency)
{
    if (frequency) *frequency = 0;
    return 777;
}

TEST(FrameTimer, WithoutFrequencyOnlyTheCounterIsRead)
{
    mirel::SetCounterSource(NoFrequency);
    mirel::FrameTimer timer;
    timer.Tick();
    EXPECT_EQ(timer.now, 777);
    EXPECT_EQ(timer.elapsed, 0.0f);
    EXPECT_EQ(timer.ticked, 0);
    mirel::SetCounterSource(nullptr);
}

TEST_F(InputTest, InitKeepsListenersRegisteredBeforeTheModulesStart)
{
    // The GUI registers its handlers while the render device starts, before the input module's Init.
    miInput::RegisterMouseListener(miInput::kMouseMove, OnMove);
    miInput::g_inputModule.Init();
    platform_.cursorX = 10;
    platform_.cursorY = 20;
    miInput::OnMouseMessage(0x0200);
    Poll();
    ASSERT_EQ(g_moves.size(), 1u);
    EXPECT_EQ(g_moves[0].y, 20.0f);
}

} // namespace
