// What the parts of the shell call in each other: releasing, layout and the key map.
#pragma once

#include <Qt>

class QKeyEvent;

// Menus, status bars and controls belonging to a window (window -1: all of them).
void releaseMenus(int window);
void releaseStatusBars(int window);
void releaseControls(int window);

void layoutStatusBars(int window);
void installCanvasHooks();

// Virtual key codes from and to Qt keys; 0 when there is none.
int virtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers);
int qtKeyFromVirtualKey(int virtualKey);

// Cursor of a canvas by its number (attribute 7).
void applyCanvasCursor(int number, int cursor);

// Whether the key event is one of the window's shortcuts.
bool isWindowShortcut(int window, const QKeyEvent* key);
