// The engine's inputs taken from the viewer state and the values the controls hold: the
// loaded data, the options of the view, and the selection made on it.
#pragma once

#include <cstdint>
#include <string>

#include "viewer/engine/data_buffer.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/engine/view_block.h"

// Frees the data before, drops the selection, then reads the file whole and notes its name,
// folder and identity. On any failure nothing is loaded afterwards.
LoadResult loadViewerData(const std::string& fileName);

// Releases the data; afterwards nothing is loaded (dataSize 0).
void freeViewerData();

// The loaded bytes.
DataBytes viewerData();

// Follows a file cut short under the view: the data shown ends where the file now ends. True
// when it has just become shorter.
bool followDataFile();

// The data shown is shorter than the file was when loaded.
bool dataCutShort();

// byteOffset + fineOffset, the index of the first byte of the view.
int64_t viewFirstByte();

// The view as the state and the controls set it.
SheetOptions viewerSheetOptions();

// The view into the SheetImage; CannotDraw also when there is no such image.
SheetResult drawViewerSheet();

// The form a saved or copied byte takes: the inverse and the bit reversal as the boxes say.
SavedByteForm savedByteForm();

// The bytes between the selection's anchor and corner.
ByteBlock selectedBlock();

// Notes the view the selection is made on: its first byte, width, zoom, mode, columns, size and
// data.
void noteSelectionView();
// Whether the view is still the one noted.
bool sameViewAsSelection();
