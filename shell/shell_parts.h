// What the parts of the shell call in each other: releasing, layout and the key map.
#pragma once

#include <Qt>

#include <cstdint>

class QKeyEvent;

struct RawMessage {
    int message = 0;
    uint64_t wParam = 0;
    int window = -1;
};

// Kept by the event queue, which returns raw messages in order with the queued events.
void recordRawMessage(const RawMessage& raw);
void clearRawMessages();
// Lets the platform deliver what is pending: input, redraws, timers.
void pumpPendingEvents();

// Menus, status bars and controls belonging to a window (window -1: all of them).
void releaseMenus(int window);
void releaseStatusBars(int window);
void releaseControls(int window);

void layoutStatusBars(int window);
void installCanvasHooks();

// Virtual key codes from and to Qt keys; 0 when there is none.
int virtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers);
int qtKeyFromVirtualKey(int virtualKey);

// Whether the key event is one of the window's shortcuts.
bool isWindowShortcut(int window, const QKeyEvent* key);
