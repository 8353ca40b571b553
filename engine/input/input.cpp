#include "input/input.h"

#include "input/console.h"
#include "mainloop.h"

#include "core/props.h"
#include "core/utils.h"

#include <cstring>
#include <vector>

namespace miInput
{

InputModule g_inputModule;

namespace
{

// Sticks resting inside this fraction of full travel on both axes read as centred.
constexpr float kDeadZone = 0.24f * 32767.0f;

class NoInputPlatform : public InputPlatform
{
  public:
    bool LoadPad() override { return false; }
    bool ReadPad(RawPad&) override { return false; }
    bool WindowHasFocus() override { return false; }
    bool KeyHeld(char) override { return false; }
    bool CursorPosition(float&, float&) override { return false; }
};

struct MouseData
{
    float value, x, y, dx, dy;
    uint8_t raised;
};

struct MouseListener
{
    int32_t kind;
    MouseCallback callback;
};

NoInputPlatform g_noPlatform;
InputPlatform* g_platform = &g_noPlatform;
bool g_padLoaded = false;

std::vector<KeyBinding> g_keys;
std::vector<MouseListener> g_mouseListeners;
KeyboardRecord g_keyboard;
GamepadState g_pad;
MouseData g_mouse[kMouseKindCount] = {};
int32_t g_buttons[3] = {};

bool ModifierHeld(int32_t modifier)
{
    switch (modifier)
    {
    case kModShift:
        return g_keyboard.shift.load() != 0;
    case kModControl:
        return g_keyboard.control.load() != 0;
    case kModAlt:
        return g_keyboard.alt.load() != 0;
    default:
        return true;
    }
}

void ClearPadReading()
{
    g_pad.buttons = 0;
    g_pad.leftStick[0] = g_pad.leftStick[1] = 0.0f;
    g_pad.rightStick[0] = g_pad.rightStick[1] = 0.0f;
}

void TracePadChange()
{
    static GamepadState last;
    if (g_pad.connected == last.connected && g_pad.buttons == last.buttons &&
        std::memcmp(g_pad.leftStick, last.leftStick, sizeof last.leftStick) == 0 &&
        std::memcmp(g_pad.rightStick, last.rightStick, sizeof last.rightStick) == 0)
        return;
    last = g_pad;
    mirel::Trace("pad %s buttons %#x left %.2f %.2f right %.2f %.2f",
                 g_pad.connected ? "connected" : "absent", g_pad.buttons, g_pad.leftStick[0],
                 g_pad.leftStick[1], g_pad.rightStick[0], g_pad.rightStick[1]);
}

void ReadPadState()
{
    if (!g_padLoaded) return;
    // Without the focus the pad is not read, and a stick held as the focus went must not keep
    // steering: its reading is dropped until the focus returns.
    if (!g_platform->WindowHasFocus())
    {
        ClearPadReading();
        return;
    }
    RawPad raw{};
    const bool connected = g_platform->ReadPad(raw);
    g_pad.connected = connected ? 1 : 0;
    if (!connected)
    {
        ClearPadReading();
        return;
    }
    g_pad.buttons = static_cast<uint32_t>(raw.buttons) | (static_cast<uint32_t>(raw.leftTrigger) << 16) |
                    (static_cast<uint32_t>(raw.rightTrigger) << 24);
    auto inside = [](int16_t v) { return v > -kDeadZone && v < kDeadZone; };
    if (inside(raw.thumbLX) && inside(raw.thumbLY))
        g_pad.leftStick[0] = g_pad.leftStick[1] = 0.0f;
    else
    {
        g_pad.leftStick[0] = raw.thumbLX / 32767.0f;
        g_pad.leftStick[1] = raw.thumbLY / 32767.0f;
    }
    if (inside(raw.thumbRX) && inside(raw.thumbRY))
        g_pad.rightStick[0] = g_pad.rightStick[1] = 0.0f;
    else
    {
        g_pad.rightStick[0] = raw.thumbRX / 32767.0f;
        g_pad.rightStick[1] = -raw.thumbRY / 32767.0f;
    }
}

void UpdatePad()
{
    ReadPadState();
    TracePadChange();
}

void PollHotkeys()
{
    const bool hotkeysOpen = !ConsoleOpen() && !IsKeyboardLocked();
    // Index loop: a callback may register further keys.
    for (size_t i = 0; i < g_keys.size(); ++i)
    {
        const KeyBinding binding = g_keys[i];
        if (!ModifierHeld(binding.modifier)) continue;
        if (binding.functionKey != -1) continue; // nothing produces function-key presses
        const auto index = static_cast<unsigned char>(binding.key);
        const bool fired = (binding.repeatWhileHeld && g_platform->KeyHeld(binding.key)) ||
                           g_keyboard.keyState[index].load() != 0;
        if (fired && binding.callback && (hotkeysOpen || binding.key == kConsoleKey)) binding.callback();
    }
    for (auto& entry : g_keyboard.keyState)
        entry.store(0);
}

void DispatchMouse()
{
    for (const MouseListener& listener : g_mouseListeners)
    {
        const MouseData& d = g_mouse[listener.kind];
        if (!d.raised || !listener.callback) continue;
        MouseEvent event{d.dx,
                         d.dy,
                         d.x,
                         d.y,
                         d.value,
                         static_cast<uint8_t>(g_buttons[0]),
                         static_cast<uint8_t>(g_buttons[1]),
                         static_cast<uint8_t>(g_buttons[2])};
        listener.callback(event);
    }
    for (MouseData& d : g_mouse)
        d.raised = 0;
}

void MoveWithDelta(MouseData& d, float x, float y)
{
    if (d.x > 0.0f)
    {
        d.dx = x - d.x;
        d.dy = y - d.y;
    }
    d.x = x;
    d.y = y;
}

} // namespace

void SetInputPlatform(InputPlatform* platform)
{
    g_platform = platform ? platform : &g_noPlatform;
}

void RegisterKey(const KeyBinding& binding)
{
    for (const KeyBinding& existing : g_keys)
    {
        if (existing.functionKey == -1 && existing.key == binding.key)
        {
            const char name[2] = {binding.key, '\0'};
            MIREL_ASSERT(false, 178, "This key is already registered for: %s", name);
        }
        if (existing.functionKey != -1 && existing.functionKey == binding.functionKey)
            MIREL_ASSERT(false, 179, "A function key is used for more than one event: %d",
                         binding.functionKey);
    }
    g_keys.push_back(binding);
}

void RegisterMouseListener(int32_t kind, MouseCallback callback)
{
    if (kind < 0 || kind >= kMouseKindCount) return;
    for (const MouseListener& l : g_mouseListeners)
        if (l.kind == kind && l.callback == callback) return;
    g_mouseListeners.push_back({kind, callback});
}

void ClearMouseListeners()
{
    g_mouseListeners.clear();
}

void OnMouseMessage(uint32_t message)
{
    float x = g_mouse[kMouseMove].x, y = g_mouse[kMouseMove].y;
    // Without a position the last known one stands, so no spurious jump is reported.
    g_platform->CursorPosition(x, y);
    switch (message)
    {
    case 0x0200: // WM_MOUSEMOVE
        MoveWithDelta(g_mouse[kMouseMove], x, y);
        g_mouse[kMouseMove].raised = 1;
        break;
    case 0x0201: // WM_LBUTTONDOWN
        MoveWithDelta(g_mouse[kMouseLeft], x, y);
        g_buttons[0] = 1;
        g_mouse[kMouseLeft].raised = 1;
        break;
    case 0x0202: // WM_LBUTTONUP
        g_buttons[0] = 0;
        g_mouse[kMouseLeft].raised = 1;
        break;
    case 0x0204: // WM_RBUTTONDOWN
    case 0x0205: // WM_RBUTTONUP
        g_buttons[1] = message == 0x0204;
        g_mouse[kMouseRight].raised = 1;
        break;
    case 0x0207: // WM_MBUTTONDOWN
    case 0x0208: // WM_MBUTTONUP
        g_buttons[2] = message == 0x0207;
        g_mouse[kMouseMiddle].raised = 1;
        break;
    case 0x020A: // WM_MOUSEWHEEL
        g_mouse[kMouseWheel].value = 0.0f;
        g_mouse[kMouseWheel].raised = 1;
        break;
    default:
        break;
    }
}

KeyboardRecord& Keyboard()
{
    return g_keyboard;
}
const GamepadState& Gamepad()
{
    return g_pad;
}
bool LeftDown()
{
    return g_buttons[0] != 0;
}
bool RightDown()
{
    return g_buttons[1] != 0;
}
bool MiddleDown()
{
    return g_buttons[2] != 0;
}
int32_t RegisteredKeyCount()
{
    return static_cast<int32_t>(g_keys.size());
}

bool IsKeyRegistered(char key)
{
    for (const KeyBinding& k : g_keys)
        if (k.functionKey == -1 && k.key == key) return true;
    return false;
}

void InputModule::Init()
{
    g_padLoaded = g_platform->LoadPad();
    g_pad = GamepadState{};
    g_pad.connected = g_padLoaded ? 1 : 0;
    g_keys.clear();
    g_keyboard.shift.store(0);
    for (auto& entry : g_keyboard.keyState)
        entry.store(0);
    for (MouseData& d : g_mouse)
        d = MouseData{};
    g_buttons[0] = g_buttons[1] = g_buttons[2] = 0;
}

void InputModule::Update()
{
    UpdatePad();
    PollHotkeys();
    DispatchMouse();
}

} // namespace miInput
