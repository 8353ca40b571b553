// Routing of the window's keyboard and mouse messages to the console and the input system.
// Portable: message numbers and key codes are the Win32 values.
#pragma once

#include <cstdint>

namespace mirel
{

namespace msg
{
constexpr uint32_t kKeyDown = 0x0100;
constexpr uint32_t kKeyUp = 0x0101;
constexpr uint32_t kChar = 0x0102;
constexpr uint32_t kSysKeyDown = 0x0104;
constexpr uint32_t kSysKeyUp = 0x0105;
constexpr uint32_t kMouseFirst = 0x0200;
constexpr uint32_t kMouseWheel = 0x020A;

constexpr uintptr_t kVkReturn = 0x0D;
constexpr uintptr_t kVkShift = 0x10;
constexpr uintptr_t kVkControl = 0x11;
constexpr uintptr_t kVkMenu = 0x12;
constexpr uintptr_t kVkPause = 0x13;
constexpr uintptr_t kVkSpace = 0x20;
} // namespace msg

struct PumpState
{
    // Set by Pause, cleared by Space: messages still flow but no frame is produced.
    bool paused = false;
};

enum class Route
{
    kContinue,
    kQuit, // Escape with the console closed and the keyboard unlocked
};

// A message that arrived while the main window has the keyboard focus. mappedChar is
// MapVirtualKeyW(wParam, MAPVK_VK_TO_CHAR) for key messages and ignored otherwise.
Route RouteFocusedMessage(PumpState& state, uint32_t message, uintptr_t wParam, uint32_t mappedChar);

// Windowed: the client size becomes the resolution; always asks the render layer to resize.
void OnWindowResized(int32_t width, int32_t height);

} // namespace mirel
