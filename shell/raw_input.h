// Platform input turned into raw messages for waitEvent, and the key state it tracks.
#pragma once

#include <cstdint>

// The application-wide filter that records raw messages; installed once by initShell.
void installRawInput();

// A key press taken by a shortcut never reaches the filter: the shortcut reports it.
void noteShortcutKeyPress(int window, int virtualKey, int modifiers);

// Physical key state: on X11 asked from the server; elsewhere the tracked presses.
void initKeyState();
void trackKeyState(int virtualKey, bool down);
void clearTrackedKeys();
// 1 while the presses and releases seen say the key is down.
int trackedKeyDown(int virtualKey);
// Marks as up every tracked key that the server reports up (its release went to another
// application); does nothing without a server to ask.
void forgetReleasedKeys();
