// Getting to a place in the data and cutting a rectangle out of the view: "Go to offset...",
// the page keys, the selection dragged on the view and the two commands that save it.
#pragma once

#include <cstdint>

// "Go to offset...": asks for a byte number and makes it the first byte of the view.
void goToOffset();

// Page Down, Page Up, Home and End, polled like the arrow keys: each held key moves once.
void pollPageKeys();

// The left button on the canvas: down, moved while down, up.
void pressOnView();
void dragOnView();
void releaseOnView();

// True while the left button that went down on the view is held: the status line then shows
// the selection instead of the position under the pointer.
bool draggingOnView();

// "Save selection as image..." and "Save selection as binary...".
void saveSelectionImage();
void saveSelectionBinary();

// Ctrl+C: the picture "Save selection as image..." writes, to the system clipboard; Ctrl+Shift+C:
// the bytes "Save selection as binary..." writes, as hexadecimal text.
// F2: the selection's picture as the next numbered PNG beside the last "Save selection as
// image..." (which is asked for when there was none yet); the status line names the file.
void saveSelectionNumbered();

void copySelectionImage();
void copySelectionHex();
