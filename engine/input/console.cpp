#include "input/console.h"

#include "mainloop.h"

#include "core/props.h"
#include "core/utils.h"

#include <cstring>

namespace miInput
{

namespace
{
char g_line[kConsoleCapacity] = {};
int32_t g_length = 0;
} // namespace

void ToggleConsole()
{
    auto& mode = mirel::g_engineState.uiMode;
    mode.store(mode.load() == mirel::kUiConsole ? mirel::kUiNone : mirel::kUiConsole);
}

bool ConsoleOpen()
{
    return mirel::g_engineState.uiMode.load() == mirel::kUiConsole;
}

void ConsoleBackspace()
{
    g_length = g_length > 0 ? g_length - 1 : 0;
    g_line[g_length] = '\0';
}

void ConsoleAppend(char ch)
{
    if (ch == '\0' || g_length >= kConsoleCapacity - 1) return;
    g_line[g_length++] = ch;
    g_line[g_length] = '\0';
}

void ConsoleClear()
{
    g_length = 0;
    g_line[0] = '\0';
}

void ConsoleExecute()
{
    g_line[g_length] = '\0';
    char command[kConsoleCapacity];
    std::memcpy(command, g_line, static_cast<size_t>(g_length) + 1);
    ConsoleClear();
    if (std::strcmp(command, "plq_hold") == 0)
    {
        mirel::g_engineState.keyboardLocked.store(1);
        mirel::Trace("console: keyboard locked");
    }
    else if (std::strcmp(command, "plq_unhold") == 0)
    {
        mirel::g_engineState.keyboardLocked.store(0);
        mirel::Trace("console: keyboard unlocked");
    }
}

const char* ConsoleLine()
{
    return g_line;
}
int32_t ConsoleLength()
{
    return g_length;
}
bool IsKeyboardLocked()
{
    return mirel::g_engineState.keyboardLocked.load() != 0;
}

void DrawConsole(mirel::TextList& list)
{
    list.count = 0;
    float colour[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    mirel::PropertyType type;
    if (mirel::PropertyTypeOf("render_init.fontColor", &type) && type == mirel::kPropFloat4)
        std::memcpy(colour, mirel::FindProperty("render_init.fontColor", false), sizeof colour);
    mirel::FormatText(list, colour, "%s%s%s", ">> ", g_line, "_");
}

} // namespace miInput
