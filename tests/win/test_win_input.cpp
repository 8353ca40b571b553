// The real Windows input path in-process: SendInput reaches the window, the pump records the
// key, GetAsyncKeyState drives held keys, and Escape ends the loop with everything shut down.
#include "input/input.h"
#include "mainloop.h"
#include "window_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace
{

std::string g_fired;

void Key(WORD vk, bool up)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

// Presses keys on a schedule from inside the loop, so the pump itself delivers them.
class KeyScriptApp : public mirel::MirelApp
{
  public:
    void Init() override {}
    void Load() override
    {
        miInput::RegisterKey({'M', -1, miInput::kModNone, 0, [] { g_fired += 'M'; }});
        miInput::RegisterKey({'W', -1, miInput::kModNone, 1, [] { g_fired += 'W'; }});
    }
    void Shutdown() override { shutDown = true; }
    void Update() override
    {
        ++frame;
        HWND window = mirel::MainWindowHandle();
        if (frame == 2)
        {
            SetForegroundWindow(window);
            SetFocus(window);
            Key('M', false);
            Key('M', true);
        }
        if (frame == 20) Key('W', false);
        if (frame == 30) heldFires = static_cast<int>(g_fired.size());
        if (frame == 31) Key('W', true);
        if (frame == 50) mirel::g_engineState.loadingDone.store(1);
        if (frame == 80)
        {
            Key(VK_ESCAPE, false);
            Key(VK_ESCAPE, true);
        }
        // A safety net: the test fails rather than hangs when keys never arrive.
        if (frame == 5000) PostMessageW(window, WM_CLOSE, 0, 0);
    }
    int frame = 0;
    int heldFires = 0;
    bool shutDown = false;
};

TEST(WinInput, KeysTravelThroughThePumpAndEscapeEndsTheLoop)
{
    KeyScriptApp app;
    ASSERT_EQ(mirel::CreateMainWindow(GetModuleHandleW(nullptr), SW_SHOW, L"Input test"), 0);
    mirel::InstallWin32Input();
    miSim::Module* const modules[] = {&miInput::g_inputModule};
    mirel::SetEngineModules(modules, 1);
    mirel::RegisterApp(&app);
    mirel::Start(mirel::MainWindowHandle());
    const int code = mirel::RunMessageLoop();

    EXPECT_EQ(code, 27) << "Escape exits with its key code, closing the window with 0";
    EXPECT_LT(app.frame, 5000) << "Escape did not end the loop";
    EXPECT_TRUE(app.shutDown);
    ASSERT_FALSE(g_fired.empty());
    EXPECT_EQ(g_fired[0], 'M');
    EXPECT_EQ(std::count(g_fired.begin(), g_fired.end(), 'M'), 1) << g_fired;
    // W was held from frame 20 to 31: GetAsyncKeyState fires it in every poll meanwhile.
    EXPECT_GE(app.heldFires - 1, 5) << g_fired;
    EXPECT_LE(std::count(g_fired.begin(), g_fired.end(), 'W'), 14) << "released keys stop firing";
    EXPECT_GT(mirel::FramesInMode(mirel::kLoopPipelined), 0u);
    DestroyWindow(mirel::MainWindowHandle());
}

} // namespace
