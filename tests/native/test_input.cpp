// Hotkeys, mouse, pad, console and the pump's routing, through a scripted input platform.
#include "core/props.h"
#include "core/utils.h"
#include "frametimer.h"
#include "input/console.h"
#include "input/input.h"
#include "mainloop.h"
#include "pump.h"
#include "support/scripted_input.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{

using mirel::Route;
using mirel::msg::kChar;
using mirel::msg::kKeyDown;
using mirel::msg::kKeyUp;
constexpr uintptr_t kVkGrave = 0xC0;

std::string g_fired;
std::vector<miInput::MouseEvent> g_moves;
void (*const OnMove)(const miInput::MouseEvent&) = [](const miInput::MouseEvent& e) { g_moves.push_back(e); };

miInput::KeyBinding Key(char key, void (*cb)(), int32_t modifier = miInput::kModNone, bool repeat = false)
{
    return {key, -1, modifier, static_cast<uint8_t>(repeat ? 1 : 0), cb};
}
void (*const FireM)() = [] { g_fired += 'M'; };
void (*const FireW)() = [] { g_fired += 'W'; };
void (*const FireZ)() = [] { g_fired += 'Z'; };
void (*const Fire4)() = [] { g_fired += '4'; };

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
    // A real stroke: key-down, the character TranslateMessage makes of it, key-up.
    void Stroke(uintptr_t vk, uint32_t mapped, uintptr_t ch)
    {
        Send(kKeyDown, vk, mapped);
        Send(kChar, ch);
        Send(kKeyUp, vk, mapped);
    }
    // The console key as typed: its character arrives before the poll toggles the console.
    void ConsoleKey()
    {
        Stroke(kVkGrave, '`', '`');
        Poll();
    }
    void Type(const std::string& text)
    {
        for (char c : text)
            Send(kChar, static_cast<uintptr_t>(static_cast<unsigned char>(c)));
    }
    void Enter() { Stroke(mirel::msg::kVkReturn, 13, 13); }
    void Poll() { miInput::g_inputModule.Update(); }

    mirel::test::ScriptedInput platform_;
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
    Send(kKeyDown, 'M');
    Send(kKeyUp, 'M'); // down and up before the next poll: a tap is not lost
    Poll();
    EXPECT_EQ(g_fired, "MM");

    platform_.held['W'] = true;
    Poll();
    Poll();
    platform_.held['W'] = false;
    Poll();
    EXPECT_EQ(g_fired, "MMWW");
}

TEST_F(InputTest, DuplicatesAreReportedAndKeptAndPlainRecordsFireWhateverTheModifier)
{
    miInput::KeyBinding f5a = Key(0, FireM), f5b = Key(0, FireZ);
    f5a.functionKey = f5b.functionKey = 5;
    const std::tuple<miInput::KeyBinding, miInput::KeyBinding, const char*> cases[] = {
        {Key('Z', FireZ), Key('Z', FireM, miInput::kModShift), "This key is already registered for: Z"},
        {f5a, f5b, "A function key is used for more than one event: 5"},
        {Key('A', FireM), Key('B', FireM), ""},
        {Key('A', FireM), f5a, ""}, // function keys against character keys are no conflict
        {Key('4', Fire4, miInput::kModControl), Key('4', FireM), "This key is already registered for: 4"},
    };
    for (const auto& [first, second, message] : cases)
    {
        miInput::g_inputModule.Init();
        mirel::test::ReportCapture reports;
        miInput::RegisterKey(first);
        miInput::RegisterKey(second);
        EXPECT_EQ(reports.Count(), *message ? 1 : 0) << reports.Last();
        EXPECT_PRED_FORMAT2(testing::IsSubstring, message, reports.Last());
        EXPECT_EQ(miInput::RegisteredKeyCount(), 2);
    }
    // The last pair, Control-4 and plain 4, is still registered.
    for (bool control : {false, true, false})
    {
        Send(control ? kKeyDown : kKeyUp, mirel::msg::kVkControl, 0);
        Send(kKeyDown, '4');
        Poll();
    }
    EXPECT_EQ(g_fired, "M4MM");
}

// The line as typed, and as drawn: prompt, line and cursor in the font colour.
TEST_F(InputTest, LineEditingAndDrawing)
{
    mirel::g_engineState.uiMode.store(mirel::kUiConsole);
    const std::pair<std::string, std::string> cases[] = {
        {"abc\b", "ab"},
        {"\b\b", ""},      // backspace on an empty line
        {"abc\tde", "de"}, // tab discards the typed text
        {"plq\r", ""},     // carriage return executes and empties
        {std::string(400, 'x'), std::string(miInput::kConsoleCapacity - 1, 'x')},
    };
    for (const auto& [typed, line] : cases)
    {
        miInput::ConsoleClear();
        Type(typed);
        EXPECT_EQ(miInput::ConsoleLine(), line) << typed;
        EXPECT_EQ(miInput::ConsoleLength(), static_cast<int32_t>(line.size()));
    }
    mirel::TextList list;
    list.count = 3;
    miInput::ConsoleClear();
    Type("plq");
    miInput::DrawConsole(list);
    ASSERT_EQ(list.count, 1);
    EXPECT_STREQ(list.lines[0].text, ">> plq_");
    const float* colour = list.lines[0].colour;
    EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{1, 0, 0, 0}));
    mirel::SetPropertyFloat4("render_init.fontColor", 0.5f, 0.25f, 1.0f, 1.0f);
    miInput::DrawConsole(list);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{0.5f, 0.25f, 1, 1}));
}

TEST_F(InputTest, ConsoleTakesTheKeyboardAndItsLockBlocksEverythingButTheConsoleKey)
{
    miInput::RegisterKey(Key('`', miInput::ToggleConsole));
    miInput::RegisterKey(Key('Z', FireZ));
    miInput::RegisterMouseListener(miInput::kMouseMove, OnMove);
    Send(kKeyDown, '`');
    Poll();
    ASSERT_TRUE(miInput::ConsoleOpen());
    Send(kKeyDown, 'Z');
    Type("z");
    Poll();
    EXPECT_EQ(g_fired, "") << "hotkeys are off while the console is open";
    EXPECT_STREQ(miInput::ConsoleLine(), "z");
    Send(kKeyDown, '`');
    Poll();
    ASSERT_FALSE(miInput::ConsoleOpen()) << "the grave accent is routed as a key while the console is open";
    miInput::ConsoleClear();

    ConsoleKey();
    ASSERT_TRUE(miInput::ConsoleOpen());
    Type("plq_hold ");
    Enter();
    EXPECT_FALSE(miInput::IsKeyboardLocked()) << "a trailing blank is not the command";
    Type("plq_hold");
    Enter();
    ASSERT_TRUE(miInput::IsKeyboardLocked());
    ConsoleKey();
    ASSERT_FALSE(miInput::ConsoleOpen()) << "the console key closes the console while locked";

    EXPECT_EQ(Send(kKeyDown, 27, 27), Route::kContinue) << "Escape never quits while locked";
    Send(kKeyDown, 'Z');
    mirel::RouteFocusedMessage(pump_, 0x0200, 0, 0);
    Poll();
    EXPECT_EQ(g_fired, "");
    EXPECT_TRUE(g_moves.empty()) << "mouse messages do not reach the input system while locked";

    ConsoleKey();
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

// Pause holds frames until Space; a window resize sets the resolution only when windowed.
TEST_F(InputTest, PauseSpaceHighCharactersAndWindowResize)
{
    Send(kKeyDown, mirel::msg::kVkPause, 0);
    Send(kKeyDown, 'A');
    EXPECT_TRUE(pump_.paused) << "only Space resumes";
    Send(kKeyDown, mirel::msg::kVkSpace, ' ');
    EXPECT_FALSE(pump_.paused);
    // Dead keys come back from the key mapping with the top bit set: never an index past the table.
    miInput::g_inputModule.Init();
    Send(kKeyDown, 0xDE, 0x80000000u | '^');
    Send(kKeyDown, 0xBA, 0x1FF);
    int set = 0;
    for (auto& entry : miInput::Keyboard().keyState)
        set += entry.load();
    EXPECT_EQ(set, 0);

    const std::pair<const char*, float> cases[] = {{"false", 640.0f}, {"true", 1280.0f}, {nullptr, 1280.0f}};
    for (const auto& [fullscreen, expectX] : cases)
    {
        mirel::ClearProperties();
        mirel::SetPropertyFloat("render_init.resolutionX", 1280.0f);
        mirel::SetPropertyFloat("render_init.resolutionY", 720.0f);
        if (fullscreen) mirel::SetPropertyString("render_init.fullscreen", fullscreen);
        mirel::g_resizePending.store(0);
        mirel::OnWindowResized(640, 480);
        EXPECT_EQ(mirel::GetPropertyFloat("render_init.resolutionX"), expectX) << !!fullscreen;
        EXPECT_EQ(mirel::g_resizePending.load(), 1) << "a resize is requested in every case";
    }
}

TEST_F(InputTest, MouseDeltasStartAfterTheFirstKnownPosition)
{
    // The GUI registers its handlers while the render device starts, before the input module's Init.
    miInput::RegisterMouseListener(miInput::kMouseMove, OnMove);
    miInput::g_inputModule.Init();
    // dx, dy, x, y and the left button of move i.
    auto move = [](size_t i)
    {
        const miInput::MouseEvent& e = g_moves.at(i);
        return std::array<float, 5>{e.dx, e.dy, e.x, e.y, static_cast<float>(e.leftDown)};
    };
    platform_.MoveCursor(100, 50);
    Poll();
    ASSERT_EQ(g_moves.size(), 1u);
    EXPECT_EQ(move(0), (std::array<float, 5>{0, 0, 100, 50, 0}));
    platform_.MoveCursor(30, -10);
    miInput::OnMouseMessage(0x0201); // left down
    Poll();
    Poll();
    ASSERT_EQ(g_moves.size(), 2u) << "events are raised once per message";
    EXPECT_EQ(move(1), (std::array<float, 5>{30, -10, 130, 40, 1}));
    platform_.cursorKnown = false;
    miInput::OnMouseMessage(0x0200);
    Poll();
    ASSERT_EQ(g_moves.size(), 3u);
    EXPECT_EQ(move(2), (std::array<float, 5>{0, 0, 130, 40, 1})) << "an unknown position keeps the last one";
}

// Left x, y and right x, y as the game sees them.
std::array<float, 4> Sticks()
{
    const auto& pad = miInput::Gamepad();
    return {pad.leftStick[0], pad.leftStick[1], pad.rightStick[0], pad.rightStick[1]};
}

TEST_F(InputTest, PadDeadZonesInvertedRightStickFocusAndUnplugging)
{
    const int16_t p20 = static_cast<int16_t>(0.2 * 32767), p30 = static_cast<int16_t>(0.3 * 32767);
    const float f20 = p20 / 32767.0f, f30 = p30 / 32767.0f;
    // Raw left x, y, right x, y and the sticks read from them.
    const std::pair<std::array<int16_t, 4>, std::array<float, 4>> cases[] = {
        {{p20, p20, p20, static_cast<int16_t>(-p20)}, {0, 0, 0, 0}},
        {{p30, p20, p20, p30}, {f30, f20, f20, -f30}},
        {{p20, p30, p30, p20}, {f20, f30, f30, -f20}},
        {{-32767, 0, 0, -32767}, {-1, 0, 0, 1}},
    };
    for (const auto& [raw, sticks] : cases)
    {
        platform_.pad = {0x1234, 10, 200, raw[0], raw[1], raw[2], raw[3]};
        Poll();
        EXPECT_EQ(miInput::Gamepad().connected, 1);
        EXPECT_EQ(miInput::Gamepad().buttons, 0x1234u | (10u << 16) | (200u << 24));
        EXPECT_EQ(Sticks(), sticks) << raw[0] << " " << raw[1] << " " << raw[2] << " " << raw[3];
    }
    // Losing the focus, unplugging or a missing pad library drop what was held.
    auto expectDropped = [](int connected, const char* why)
    {
        EXPECT_EQ(miInput::Gamepad().connected, connected) << why;
        EXPECT_EQ(miInput::Gamepad().buttons, 0u) << why;
        EXPECT_EQ(Sticks(), (std::array<float, 4>{})) << why;
    };
    platform_.focus = false;
    Poll();
    expectDropped(1, "focus lost");
    platform_.focus = true;
    Poll();
    EXPECT_FLOAT_EQ(miInput::Gamepad().rightStick[1], 1.0f) << "the focus back, the pad is read again";
    platform_.padPlugged = false;
    Poll();
    expectDropped(0, "unplugged");
    platform_.padPlugged = true;
    platform_.padLibrary = false;
    miInput::g_inputModule.Init();
    Poll();
    expectDropped(0, "no pad library");
}

// The frame timer on a scripted counter (1000 counts per second; none when g_frequency is 0).
int64_t g_counter = 0, g_frequency = 1000;
int64_t ScriptedCounter(int64_t* frequency)
{
    if (frequency) *frequency = g_frequency;
    return g_counter;
}

TEST(FrameTimer, TicksOncePerArmingAndCountsWholeSeconds)
{
    mirel::SetCounterSource(ScriptedCounter);
    g_counter = 5000;
    mirel::FrameTimer timer;
    auto tick = [&timer](int ms, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            timer.ticked = 0, g_counter += ms, timer.Tick();
    };
    tick(250);
    EXPECT_FLOAT_EQ(timer.delta, 0.25f);
    EXPECT_FLOAT_EQ(timer.instantFps, 4.0f);
    g_counter += 500;
    timer.Tick();
    EXPECT_FLOAT_EQ(timer.delta, 0.25f) << "a second tick without re-arming keeps the first";
    EXPECT_FLOAT_EQ(timer.elapsed, 0.25f);

    timer.Reset();
    tick(250, 4);
    EXPECT_FLOAT_EQ(timer.fps, 0.0f) << "exactly one second is not more than one";
    tick(10);
    EXPECT_FLOAT_EQ(timer.fps, 5.0f);

    timer.Reset();
    tick(10, 15);
    EXPECT_FLOAT_EQ(timer.averageFps, 0.0f);
    tick(20);
    EXPECT_NEAR(timer.averageFps, (15 * 100.0f + 50.0f) / 16.0f, 0.01f);

    g_frequency = 0;
    g_counter = 777;
    mirel::FrameTimer frozen; // without a frequency only the counter is read
    frozen.Tick();
    EXPECT_EQ(frozen.now, 777);
    EXPECT_EQ(frozen.elapsed, 0.0f);
    EXPECT_EQ(frozen.ticked, 0);
    g_frequency = 1000;
    mirel::SetCounterSource(nullptr);
}

} // namespace
