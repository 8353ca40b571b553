// The one-line console and the keyboard lock that keeps a running demonstration undisturbed.
#pragma once

#include <cstdint>

namespace mirel
{
struct TextList;
}

namespace miInput
{

constexpr int32_t kConsoleCapacity = 260;

void ToggleConsole();
bool ConsoleOpen();
void ConsoleBackspace();
// Characters beyond the line's capacity are dropped.
void ConsoleAppend(char ch);
void ConsoleClear();
void ConsoleExecute();
const char* ConsoleLine();
int32_t ConsoleLength();
bool IsKeyboardLocked();
// Replaces the text list's content with the console line and its cursor.
void DrawConsole(mirel::TextList& list);

} // namespace miInput
