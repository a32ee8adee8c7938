// Windows removes a low-level hook without a word when one call of it takes too long (a stalled
// thread, a paging machine, resume from sleep). Raw keyboard input still arrives then: keys seen
// there but not by the hook mean the hook is gone, and it is installed again.
//
// The raw input goes to a message-only window of a thread of its own, never to the hook's thread:
// Wine queues a key's WM_INPUT before it offers the key to the hooks, and skips the hook of a
// thread whose queue has held unread input for 5 s, so the first key after a pause would pass
// untranslated. The hook's thread wakes only for keys, menus and windows.
#pragma once

#include <windows.h>

// Registers the watch thread's window for the desktop's raw keyboard input, or removes the
// registration; starts the watch thread the first time. Returns once the thread has done it.
void WatchKeyboardInput(bool watch);

// At shutdown: ends the watch thread, and waits for it.
void StopKeyboardWatch();

// Called by the hook at each call: the sign that it is alive.
void NoteHookCall();

// WM_HOOKMISSEDKEYS: installs the hook again, at most once in ten seconds.
void ReinstallMissedHook();

// WM_POWERBROADCAST: after resume from sleep the hook is installed again once.
void ReinstallAfterResume(WPARAM event);
