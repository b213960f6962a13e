// The only file that talks to X11 directly: its headers define names such as KeyPress
// and None that clash with Qt's.
#include <QGuiApplication>

#include <array>
#include <bitset>
#include <initializer_list>

#include "shell/event_queue.h"
#include "shell/raw_input.h"

#ifdef PL_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#endif

namespace {

std::bitset<256> trackedKeys;

#ifdef PL_HAVE_X11
Display* x11Display() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->display() : nullptr;
}

struct KeySyms {
    int virtualKey;
    std::initializer_list<KeySym> syms;
};

const KeySyms kNamedKeySyms[] = {
    {0x08, {XK_BackSpace}},
    {0x09, {XK_Tab}},
    {0x0D, {XK_Return, XK_KP_Enter}},
    {0x10, {XK_Shift_L, XK_Shift_R}},
    {0x11, {XK_Control_L, XK_Control_R}},
    {0x12, {XK_Alt_L, XK_Alt_R, XK_ISO_Level3_Shift}},
    {0x13, {XK_Pause}},
    {0x14, {XK_Caps_Lock}},
    {0x1B, {XK_Escape}},
    {0x20, {XK_space}},
    {0x21, {XK_Prior}},
    {0x22, {XK_Next}},
    {0x23, {XK_End}},
    {0x24, {XK_Home}},
    {0x25, {XK_Left}},
    {0x26, {XK_Up}},
    {0x27, {XK_Right}},
    {0x28, {XK_Down}},
    {0x2C, {XK_Print}},
    {0x2D, {XK_Insert}},
    {0x2E, {XK_Delete}},
    {0x5B, {XK_Super_L}},
    {0x5C, {XK_Super_R}},
    {0x5D, {XK_Menu}},
    {0x6A, {XK_KP_Multiply}},
    {0x6B, {XK_KP_Add}},
    {0x6D, {XK_KP_Subtract}},
    {0x6E, {XK_KP_Decimal}},
    {0x6F, {XK_KP_Divide}},
    {0x90, {XK_Num_Lock}},
    {0x91, {XK_Scroll_Lock}},
    {0xA0, {XK_Shift_L}},
    {0xA1, {XK_Shift_R}},
    {0xA2, {XK_Control_L}},
    {0xA3, {XK_Control_R}},
    {0xA4, {XK_Alt_L}},
    {0xA5, {XK_Alt_R}},
    {0xBA, {XK_semicolon}},
    {0xBB, {XK_equal}},
    {0xBC, {XK_comma}},
    {0xBD, {XK_minus}},
    {0xBE, {XK_period}},
    {0xBF, {XK_slash}},
    {0xC0, {XK_grave}},
    {0xDB, {XK_bracketleft}},
    {0xDC, {XK_backslash}},
    {0xDD, {XK_bracketright}},
    {0xDE, {XK_apostrophe}},
};

bool keySymDown(Display* display, const char keys[32], KeySym sym) {
    KeyCode code = XKeysymToKeycode(display, sym);
    return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0;
}

int serverKeyDown(Display* display, int virtualKey) {
    char keys[32] = {};
    XQueryKeymap(display, keys);
    KeySym sym = NoSymbol;
    if (virtualKey >= 'A' && virtualKey <= 'Z') sym = XK_a + (virtualKey - 'A');
    if (virtualKey >= '0' && virtualKey <= '9') sym = XK_0 + (virtualKey - '0');
    if (virtualKey >= 0x60 && virtualKey <= 0x69) sym = XK_KP_0 + (virtualKey - 0x60);
    if (virtualKey >= 0x70 && virtualKey <= 0x87) sym = XK_F1 + (virtualKey - 0x70);
    if (sym != NoSymbol) return keySymDown(display, keys, sym) ? 1 : 0;
    for (const KeySyms& entry : kNamedKeySyms) {
        if (entry.virtualKey != virtualKey) continue;
        for (KeySym each : entry.syms) {
            if (keySymDown(display, keys, each)) return 1;
        }
        return 0;
    }
    return 0;
}
#endif

}  // namespace

void initKeyState() {
#ifdef PL_HAVE_X11
    // Without this a held key looks released between its repeats when the server is busy.
    if (Display* display = x11Display()) XkbSetDetectableAutoRepeat(display, True, nullptr);
#endif
}

void trackKeyState(int virtualKey, bool down) {
    if (virtualKey > 0 && virtualKey < 256) trackedKeys.set(static_cast<size_t>(virtualKey), down);
}

void clearTrackedKeys() {
    trackedKeys.reset();
}

int trackedKeyDown(int virtualKey) {
    return virtualKey > 0 && virtualKey < 256 && trackedKeys.test(static_cast<size_t>(virtualKey)) ? 1 : 0;
}

void forgetReleasedKeys() {
#ifdef PL_HAVE_X11
    Display* display = x11Display();
    if (display == nullptr) return;
    for (int virtualKey = 1; virtualKey < 256; ++virtualKey) {
        if (trackedKeys.test(static_cast<size_t>(virtualKey)) && serverKeyDown(display, virtualKey) == 0)
            trackedKeys.reset(static_cast<size_t>(virtualKey));
    }
#endif
}

int isKeyDown(int virtualKey) {
    if (virtualKey <= 0 || virtualKey >= 256) return 0;
#ifdef PL_HAVE_X11
    if (Display* display = x11Display()) return serverKeyDown(display, virtualKey);
#endif
    return trackedKeyDown(virtualKey);
}
