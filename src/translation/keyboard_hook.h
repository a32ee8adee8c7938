// The low-level keyboard hook and the injection of what it types in place of a key press.
#pragma once

#include <windows.h>

#include <cstdint>

LRESULT CALLBACK KeyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam);

// Each injects into the foreground application; nothing is sent while no window has the
// foreground.
void SendUnicodeChar(uint16_t character);
UINT SendVirtualKeyEvent(uint16_t virtualKey, int down);
void EchoVirtualKey(uint8_t virtualKey);

void EnableTranslation();
void DisableTranslation();
