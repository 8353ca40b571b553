#include "pump.h"

#include "input/console.h"
#include "input/input.h"
#include "mainloop.h"

#include "core/props.h"

namespace mirel
{

namespace
{

void RouteChar(uintptr_t wParam)
{
    switch (wParam)
    {
    case 8:
        miInput::ConsoleBackspace();
        break;
    case 9:
        miInput::ConsoleClear();
        break;
    case 13:
        miInput::ConsoleExecute();
        break;
    default:
        // The console key's own character follows its key-down while the console is still
        // open (the toggle waits for the next poll), so closing would leave it in the line.
        if (wParam != 0 && wParam < 256 && wParam != static_cast<unsigned char>(miInput::kConsoleKey))
            miInput::ConsoleAppend(static_cast<char>(wParam));
        break;
    }
}

void RecordKey(uint32_t message, uintptr_t wParam, uint32_t ch)
{
    // The console key is always recorded, so it can close the console and reach a locked keyboard.
    const bool blocked = miInput::ConsoleOpen() || miInput::IsKeyboardLocked();
    if (blocked && ch != static_cast<uint32_t>(miInput::kConsoleKey)) return;
    const uint8_t down = message != msg::kKeyUp ? 1 : 0;
    miInput::KeyboardRecord& keys = miInput::Keyboard();
    if (wParam == msg::kVkShift)
        keys.shift.store(down);
    else if (wParam == msg::kVkControl)
        keys.control.store(down);
    else if (wParam == msg::kVkMenu)
        keys.alt.store(down);
    // A key-up leaves the entry alone: the entry means "pressed since the last poll", and a tap
    // whose down and up both arrive between two polls must still fire. Dead keys come back
    // with the top bit set and are not recorded.
    else if (down && ch != 0 && ch < 256)
        keys.keyState[ch].store(1);
}

} // namespace

Route RouteFocusedMessage(PumpState& state, uint32_t message, uintptr_t wParam, uint32_t mappedChar)
{
    if (message == msg::kChar)
    {
        if (miInput::ConsoleOpen()) RouteChar(wParam);
        return Route::kContinue;
    }
    if (message == msg::kKeyDown || message == msg::kSysKeyDown || message == msg::kKeyUp)
    {
        if (message != msg::kKeyUp)
        {
            if (mappedChar == 27)
            {
                if (g_engineState.uiMode.load() == kUiNone && !miInput::IsKeyboardLocked())
                    return Route::kQuit;
                g_engineState.uiMode.store(kUiNone);
            }
            if (wParam == msg::kVkReturn && miInput::ConsoleOpen()) miInput::ConsoleExecute();
            if (wParam == msg::kVkPause) state.paused = true;
            if (wParam == msg::kVkSpace && state.paused) state.paused = false;
        }
        RecordKey(message, wParam, mappedChar);
        return Route::kContinue;
    }
    if (message >= msg::kMouseFirst && message <= msg::kMouseWheel && !miInput::IsKeyboardLocked())
        miInput::OnMouseMessage(message);
    return Route::kContinue;
}

void OnWindowResized(int32_t width, int32_t height)
{
    if (IsPropertyFalse("render_init.fullscreen"))
    {
        SetPropertyFloat("render_init.resolutionX", static_cast<float>(width));
        SetPropertyFloat("render_init.resolutionY", static_cast<float>(height));
    }
    Backend().RequestResize();
}

} // namespace mirel
