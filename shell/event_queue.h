// The program's events: one queue per thread, filled by the windows, menus, shortcuts,
// controls, canvas and file drop, and read one at a time with waitEvent. When nothing is
// queued, waitEvent returns a raw message for each piece of platform input instead.
#pragma once

#include <cstdint>

// Event kinds.
constexpr int kEventControl = 13100;
constexpr int kEventMenu = 13101;
constexpr int kEventActivated = 13104;
constexpr int kEventFilesDroppedOnWindow = 13105;
constexpr int kEventFilesDropped = 13106;
constexpr int kEventMinimized = 13107;
constexpr int kEventMaximized = 13108;
constexpr int kEventRestored = 13109;
constexpr int kEventRightClick = 13111;
constexpr int kEventLeftClick = 13112;
constexpr int kEventLeftDoubleClick = 13113;
constexpr int kEventDeactivated = 13114;
constexpr int kEventRepaint = 13115;
constexpr int kEventClose = 13116;
constexpr int kEventMoved = 13117;
constexpr int kEventResized = 13118;

// Raw messages returned for platform input. Keys: wParam = virtual key. Mouse: wParam = 0.
// Wheel: the signed delta (120 per notch, positive away from the user) in bits 16-31 of wParam.
constexpr int kRawKeyDown = 0x100, kRawKeyUp = 0x101, kRawSystemKeyDown = 0x104, kRawSystemKeyUp = 0x105;
constexpr int kRawMouseMove = 0x200;
constexpr int kRawLeftButtonDown = 0x201, kRawLeftButtonUp = 0x202;
constexpr int kRawRightButtonDown = 0x204, kRawRightButtonUp = 0x205;
constexpr int kRawMiddleButtonDown = 0x207, kRawMiddleButtonUp = 0x208;
constexpr int kRawMouseWheel = 0x20A;

// The next event kind or raw message number; blocks until there is one. Events posted
// while a message is dispatched come after that message's raw number.
int waitEvent();
// As waitEvent, but 0 when nothing arrives within timeoutMs (0: only what is pending now).
int waitEvent(int timeoutMs);

// The current event: the one last returned by waitEvent, or the one being delivered to a
// bound callback.
int eventKind();
int eventControl();   // object field: the control number
int eventMenuItem();  // object field: the command id
int eventWindow();
int eventType();
uint64_t eventWParam();   // of the current raw message, 0 for a queued event
const void* eventData();  // data record of the current event, nullptr if none

// Queues an event (merged into an identical event waiting at the tail, whose data then
// stays) and calls the bound callbacks at once. data is released with releaseData once
// the event is no longer current (or at once when it is dropped or merged).
void postEvent(int kind, int object, int window, int type, void* data = nullptr,
               void (*releaseData)(void*) = nullptr);

// Drops every waiting event, raw message and the current event's data.
void clearEvents();
// clearEvents, and the suppression counter back to 0.
void resetEventQueue();

// Callbacks for every control event of one control in one window, called when the event is
// posted, the one bound last first; bindControlEvent (controls.h) binds through this.
void bindEvent(int window, int control, void (*callback)());
void unbindAllEvents();

// While suppressed (counter above 0) posted events are dropped: neither queued nor passed
// to callbacks.
void suppressEvents();
void resumeEvents();

// Virtual key codes.
constexpr int kKeyBackspace = 0x08, kKeyTab = 0x09, kKeyReturn = 0x0D, kKeyShift = 0x10, kKeyControl = 0x11,
              kKeyAlt = 0x12, kKeyEscape = 0x1B, kKeySpace = 0x20, kKeyPageUp = 0x21, kKeyPageDown = 0x22,
              kKeyEnd = 0x23, kKeyHome = 0x24, kKeyLeft = 0x25, kKeyUp = 0x26, kKeyRight = 0x27,
              kKeyDown = 0x28, kKeyInsert = 0x2D, kKeyDelete = 0x2E, kKeyF1 = 0x70, kKeyF11 = 0x7A;

// 1 while the key is physically down at this moment, else 0: asked from the X server,
// or, without one, from the presses and releases the application has seen.
int isKeyDown(int virtualKey);

// 1 while the key is down (as isKeyDown says) and counts for the window: its press reached the
// window itself, not a menu, a popup, a dialog or another application, and the window has not
// lost the keyboard since. A key whose press closed a menu or a dialog, or that is held in
// another application, therefore gives 0 until it is pressed again in the window.
int isKeyDownInWindow(int window, int virtualKey);

// A long piece of work on the event loop's own thread. From beginBusy to endBusy the windows take
// no input (key presses, mouse buttons and moves and the wheel go nowhere) and post no event;
// pumpBusy lets them redraw, and is true once Escape has been pressed in `window` since beginBusy.
// That press then does not count as held in the window (isKeyDownInWindow gives 0 for it).
void beginBusy(int window);
bool pumpBusy();
void endBusy();
