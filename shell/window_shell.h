// Numbered top-level windows with their menu bars, popup menus, keyboard shortcuts and
// status bars. Every object is addressed by a small number chosen by the caller; an
// operation on a number that holds no object does nothing and returns 0, and creating an
// object on a number in use first frees the old one.
#pragma once

#include <cstddef>
#include <span>
#include <string>

// Creates the application object (once) and the shell's tables, hands the arguments to
// the command line and, on X11, makes held keys report no release between repeats. The
// application object gets the program's name only, never the arguments.
// Non-zero on success. Call first.
int initShell(int& argc, char** argv);

// The bytes of one picture file as it lies on disk (PNG, BMP, ...).
struct PictureBytes {
    const unsigned char* bytes;
    size_t size;
};

// Gives every window the icon drawn by these pictures, typically one per size. Non-zero
// when at least one of them could be read.
int setApplicationIcon(std::span<const PictureBytes> pictures);

// Names the desktop entry (without ".desktop") that describes the program, so that the
// desktop matches its windows to the entry's name and icon.
void setDesktopEntryName(const std::string& name);

// Releases every window, menu, status bar, control, canvas and queued event, then the
// application object made by initShell.
void shutdownShell();

// Releases every window, menu, status bar, control, canvas, binding and queued event but
// keeps the application object (used between tests).
void releaseShellObjects();

// Window flags.
constexpr int kWindowCentred = 1;  // on the screen
constexpr int kWindowMinimizeBox = 0x020000;
constexpr int kWindowSystemMenu = 0x080000;  // with the close box
constexpr int kWindowTitleBar = 0xC00000;
constexpr int kWindowMaximizeBox = 0x010000;
constexpr int kWindowSizingBorder = 0x040000;  // the user may enlarge it, never below its first size

// Opens a shown and active top-level window whose client area is clientWidth x clientHeight; a
// menu bar attached later takes its height from that area, so the outer size stays. Without
// kWindowSizingBorder its size is fixed. The window becomes the parent of the controls created
// afterwards. Non-zero on success.
int openWindow(int number, int x, int y, int clientWidth, int clientHeight, const std::string& title,
               int flags);

// The size of the client area, menu bar included, as openWindow takes it; 0 when there is no window.
int windowClientWidth(int number);
int windowClientHeight(int number);

// Called at once, inside the platform's handling, whenever the window's size changes: a drag of
// its border, maximising, full screen, or a change the program makes. One callback per window;
// nullptr removes it.
void bindWindowResize(int number, void (*callback)());

// Where the window stands when it is neither maximised nor full screen: the top-left corner of its
// inside on the desktop, and the client size.
struct WindowPlace {
    int x = 0, y = 0, clientWidth = 0, clientHeight = 0;
    bool maximized = false;
};
WindowPlace windowPlace(int number);
// Puts the window there, maximised when asked. Sizes below its smallest are raised to it.
void setWindowPlace(int number, const WindowPlace& place);
// Whether the place lies wholly on one of the screens.
bool fitsOnScreen(const WindowPlace& place);

// Full screen on (the window fills its screen, no title bar) or back to how it was.
void setFullScreen(int number, int on);
int isFullScreen(int number);

void* windowHandle(int number);  // the top-level QWidget*, nullptr if none
void setWindowTitle(int number, const std::string& title);
void setStayOnTop(int number, int on);

// Pointer position relative to the client area (below any menu bar); -1 from both when
// the pointer is outside that area or the window does not exist.
int clientPointerX(int number);
int clientPointerY(int number);

// Keyboard shortcuts: a virtual key ('O', '1', 0x70 for F1, ...) plus modifier bits.
constexpr int kShortcutShift = 0x10000, kShortcutControl = 0x20000, kShortcutAlt = 0x40000;
constexpr int kCommandNextControl = 64001, kCommandPreviousControl = 64002;  // Tab, Shift+Tab

// A second entry for the same key and modifiers only replaces the command id. The
// combination then posts a menu event with the id while the window is active.
void addShortcut(int window, int shortcut, int commandId);
int shortcutCommand(int window, int shortcut);  // -1 when the key has no entry

// Menus. createMenuBar / createPopupMenu make the new menu the one being built; items
// then go into its current (sub)menu.
int createMenuBar(int number, int window);
int createPopupMenu(int number);
void beginDropDown(const std::string& title);           // back to the bar, opens a drop-down
void menuItem(int commandId, const std::string& text);  // text after a tab is the shortcut column
void menuSeparator();
void openSubmenu(const std::string& title);
void closeSubmenu();  // back to the parent; at the bar it does nothing
// Empties the drop-down or submenu of that title (the first found, depth first) and makes it the
// one being built, so that its items can be made again. 0 when the menu has no such submenu.
int rebuildSubmenu(int menu, const std::string& title);
// The item's text as made, searched through all submenus; "" when there is none.
std::string menuItemText(int menu, int commandId);

// Check marks, searched through all submenus; the mark always shows what the program set.
void setMenuCheck(int menu, int commandId, int on);
int getMenuCheck(int menu, int commandId);

// A greyed item (on = 0) cannot be chosen; its shortcut, if any, still posts its command.
void setMenuEnabled(int menu, int commandId, int on);
int getMenuEnabled(int menu, int commandId);

// Shows the popup with its top-left corner one pixel left of and above the pointer and
// returns when it closes; a chosen item arrives later as a menu event of the window.
void showPopupMenu(int menu, int window);

// Status bars along the bottom of the client area; fields have a sunken border and left-aligned
// text until a setStatusText says otherwise. Right-aligned text too wide for its field loses its
// left end.
constexpr int kStatusNoBorder = 2, kStatusRightAligned = 8;
constexpr int kStatusFieldShare = -65535;  // a width: an equal share of what the fixed fields leave
int createStatusBar(int number, int window);
void addStatusField(int width);  // pixels; to the bar created last; fields beyond 256 are ignored
void setStatusText(int number, int field, const std::string& text, int flags);
