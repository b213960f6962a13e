// The viewer's main procedure: the window with its controls, menus and shortcuts, the event
// loop with its key polls and commands, and the ordered exit.
#pragma once

// Numbers of the objects of the main window.
constexpr int kMainWindow = 0;
constexpr int kMainMenu = 0;
constexpr int kJumpMenu = 2;
constexpr int kStatusBar = 0;
constexpr int kPreviewImage = 2;

constexpr int kCanvas = 0;
constexpr int kRowScroll = 1;
constexpr int kWidthScroll = 2;
constexpr int kInverseBox = 3;
constexpr int kReverseBox = 4;
constexpr int kGridBox = 5;
constexpr int kMultiBox = 6;
constexpr int kOffsetSpin = 7;
constexpr int kNibbleBox = 8;
constexpr int kPreviewBox = 9;

// Command ids of menu items and shortcuts.
enum Command {
    kCommandQuit = 0,
    kCommandSaveBinary = 1,
    kCommandSaveImage = 2,
    kCommandOpen = 3,
    kCommandZoom1 = 4,
    kCommandZoom2 = 5,
    kCommandZoom4 = 6,
    kCommandZoom8 = 7,
    kCommandGrid = 8,
    kCommandInverse = 9,
    kCommandReverse = 10,
    kCommandMulti = 11,
    kCommandStayOnTop = 12,
    kCommandZoomPreview = 13,
    kCommandJumpHere = 14,
    kCommandBinary = 15,
    kCommandAtari = 16,
    kCommandBk = 17,
    kCommandSamCoupe = 18,
    kCommandGuessWidth = 19,
    kCommandNextGraphics = 20,
    kCommandPreviousGraphics = 21,
    kCommandGoToOffset = 40,
    kCommandSaveSelectionImage = 41,
    kCommandSaveSelectionBinary = 42,
    // 60 and on: the modes of other machines, in the order of ColourMode from kModeChunky8.
    kCommandFirstMachine = 60,
};

// What the program does after one step of its life.
enum class ViewerStep {
    Continue,   // the event loop goes on
    Quit,       // normal end: settings are written, then everything is released
    EndAtOnce,  // a load failed, or the window could not be opened: release everything, no settings
};

// Start sequence up to and including the command-line file. Continue means the event loop may run.
ViewerStep startViewer(int argc, char** argv);

// One turn of the event loop for the event `kind` that waitEvent has just returned: polls
// Escape and the arrow keys, then handles the event. A kind of 0 (nothing arrived) only polls.
ViewerStep handleEvent(int kind);

// Exit sequence; `how` is Quit or EndAtOnce. Returns the process exit code, 0.
int finishViewer(ViewerStep how);

// The whole program: start, loop, exit.
int runViewer(int argc, char** argv);

// Takes the width from its bar, sets the row bar's range for it and the data, then takes the row
// position as that range has clamped it; sets the offset box's range and keeps its value inside.
// No render.
void followScrollBars();

// followScrollBars, then renderView.
void applyScroll();

// The menu command of colour mode `mode`.
int colourModeCommand(int mode);

// Checks the colour-mode item `id` and clears the others.
void markColourMode(int id);
