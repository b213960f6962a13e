// The numbers of the main window's objects and the command ids of its menu items and shortcuts,
// for every part of the viewer.
#pragma once

#include "viewer/engine/view_limits.h"

// Numbers of the objects of the main window.
constexpr int kMainWindow = 0;
constexpr int kMainMenu = 0;
constexpr int kJumpMenu = 2;
constexpr int kStatusBar = 0;
constexpr int kSheetImage = 0;  // the view, drawn by every render
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
constexpr int kPaletteStrip = 10;  // a canvas showing the colours in use

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
    kCommandKeepFirstByte = 43,
    kCommandBack = 44,
    kCommandForward = 45,
    kCommandAddBookmark = 46,
    kCommandCopyImage = 47,
    kCommandCopyHex = 48,
    kCommandSaveNumbered = 49,
    kCommandFullScreen = 55,
    kCommandIdentifyFormat = 56,
    kCommandLoadFormatFile = 59,
    // 60 and on: the modes of other machines, in the order of ColourMode from kModeChunky8, then
    // those from format files.
    kCommandFirstMachine = 60,
    // View > "Palette": the built-in palettes in their order, then the palettes from elsewhere.
    kCommandFirstPalette = 940,
    kCommandLoadPalette = 950,
    kCommandLoadPaletteVga6 = 951,
    kCommandPaletteFromData = 952,
    kCommandPaletteBase = 953,
    // The current file's bookmarks: go to, rename, delete the one of index id - first.
    kCommandFirstBookmark = 1000,
    kCommandFirstBookmarkRename = 2000,
    kCommandFirstBookmarkDelete = 3000,
};
constexpr int kBookmarkCommandsEach = 1000;

// The commands on the selection, greyed while there is none.
constexpr int kSelectionCommands[] = {kCommandSaveSelectionImage, kCommandSaveSelectionBinary,
                                      kCommandCopyImage, kCommandCopyHex, kCommandSaveNumbered};
