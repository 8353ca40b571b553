// The operating system's side of input, scripted by the test (tests that link mirel_frame).
#pragma once

#include "input/input.h"

#include <map>

namespace mirel::test
{

class ScriptedInput : public miInput::InputPlatform
{
  public:
    bool LoadPad() override { return padLibrary; }
    bool ReadPad(miInput::RawPad& out) override { return padPlugged && (out = pad, true); }
    bool WindowHasFocus() override { return focus; }
    bool KeyHeld(char key) override { return held[key]; }
    bool CursorPosition(float& x, float& y) override
    {
        return cursorKnown && (x = cursorX, y = cursorY, true);
    }
    // Moves the cursor and tells the input module, as a WM_MOUSEMOVE does.
    void MoveCursor(float dx, float dy)
    {
        cursorX += dx;
        cursorY += dy;
        miInput::OnMouseMessage(0x0200);
    }

    bool padLibrary = true, padPlugged = true, focus = true, cursorKnown = true;
    miInput::RawPad pad{};
    std::map<char, bool> held;
    float cursorX = 0, cursorY = 0;
};

} // namespace mirel::test
