// Windows removes a low-level hook without a word when one call of it takes too long (a stalled
// thread, a paging machine, resume from sleep). Raw keyboard input still arrives then: keys seen
// there but not by the hook mean the hook is gone, and it is installed again.
#pragma once

#include <windows.h>

UINT_PTR const ID_HOOK_CHECK_TIMER = 1;

// Registers app.mainWindow for the desktop's raw keyboard input, or removes the registration.
void WatchKeyboardInput(bool watch);

// WM_INPUT: a key event happened at messageTime; checks the hook a little later, and pauses
// the raw input until then.
void NoteKeyboardInput(DWORD messageTime);

// WM_TIMER of ID_HOOK_CHECK_TIMER: installs the hook again if it missed the keys, at most once
// in ten seconds.
void CheckKeyboardHook();

// WM_POWERBROADCAST: after resume from sleep the hook is installed again once.
void ReinstallAfterResume(WPARAM event);
