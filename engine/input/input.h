// Keyboard hotkeys, mouse listeners and the first game pad, polled once per update step.
#pragma once

#include "module.h"

#include <atomic>
#include <cstdint>

namespace miInput
{

enum Modifier : int32_t
{
    kModNone = 0,
    kModShift = 1,
    kModControl = 2,
    kModAlt = 3,
};

constexpr char kConsoleKey = '`';

struct KeyBinding
{
    char key = 0;
    int32_t functionKey = -1;
    int32_t modifier = kModNone;
    uint8_t repeatWhileHeld = 0;
    void (*callback)() = nullptr;
};

enum MouseKind : int32_t
{
    kMouseMove = 0,
    kMouseLeft = 1,
    kMouseRight = 2,
    kMouseMiddle = 3,
    kMouseUnused = 4,
    kMouseWheel = 5,
    kMouseKindCount = 6,
};

struct MouseEvent
{
    float dx, dy, x, y, value;
    uint8_t leftDown, rightDown, middleDown;
};

using MouseCallback = void (*)(const MouseEvent&);

struct GamepadState
{
    uint8_t connected = 0;
    // XInput button word in bits 0-15, left trigger 16-23, right trigger 24-31.
    uint32_t buttons = 0;
    float rightStick[2] = {0, 0};
    float leftStick[2] = {0, 0};
};

// What the pump records between two polls (written on the message thread, read by Update()).
struct KeyboardRecord
{
    std::atomic<uint8_t> shift{0};
    std::atomic<uint8_t> control{0};
    std::atomic<uint8_t> alt{0};
    // 1 when a key-down message arrived since the last poll.
    std::atomic<uint8_t> keyState[256] = {};
};

// Raw pad reading as XInputGetState reports it.
struct RawPad
{
    uint16_t buttons;
    uint8_t leftTrigger, rightTrigger;
    int16_t thumbLX, thumbLY, thumbRX, thumbRY;
};

// The operating-system side of input; the Windows build installs the real one,
// tests install a scripted one.
class InputPlatform
{
  public:
    virtual ~InputPlatform() = default;
    // Loads the pad library; false when it or its entry point is missing.
    virtual bool LoadPad() = 0;
    // True and the reading when pad 0 answers; only called while the pad library is loaded.
    virtual bool ReadPad(RawPad& out) = 0;
    virtual bool WindowHasFocus() = 0;
    // GetAsyncKeyState(key) != 0.
    virtual bool KeyHeld(char key) = 0;
    // Cursor position in the render window's client area; false when unknown.
    virtual bool CursorPosition(float& x, float& y) = 0;
};

// Null restores the default, which has no pad, no focus and no held keys.
void SetInputPlatform(InputPlatform* platform);

void RegisterKey(const KeyBinding& binding);
// The same callback for the same kind is kept once, so a repeated start-up does not double it.
void RegisterMouseListener(int32_t kind, MouseCallback callback);
// Init() keeps the listeners (the GUI registers its own before the modules start); this empties them.
void ClearMouseListeners();
// message: the Win32 mouse message number (WM_MOUSEMOVE .. WM_MOUSEWHEEL).
void OnMouseMessage(uint32_t message);

KeyboardRecord& Keyboard();
const GamepadState& Gamepad();
bool LeftDown();
bool RightDown();
bool MiddleDown();
int32_t RegisteredKeyCount();
// True when a character key already has a binding (with any modifier).
bool IsKeyRegistered(char key);

class InputModule : public miSim::Module
{
  public:
    InputModule() : Module(1, 0) {}
    void Init() override;
    void Update() override;
};

extern InputModule g_inputModule;

} // namespace miInput
