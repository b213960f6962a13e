// The ways a data file reaches the viewer ("Open...", a drop on the canvas, the command line),
// the messages of a failed load, and "Save binary...".
//
// A load that fails shows its message and the program must then end at once without writing
// the settings: the three load handlers report that by returning false.
#pragma once

#include <cstdint>
#include <string>

#include "viewer/engine/data_buffer.h"

// "Open...": asks for a file, loads and renders it. Cancelling changes nothing.
bool openDataFileCommand();

// Files dropped on the canvas: loads and renders the first one.
bool loadDroppedFiles();

// The first command-line argument, if any, is loaded and rendered.
bool loadStartFile();

// The message for typed text that is no number.
void reportNotANumber(const std::string& text);

// "Save binary...": asks for a byte count and a file name and writes that many bytes from
// the first byte of the view. Every outcome is reported to the user.
void saveBinaryRange();

// Its last steps: asks for a file name and writes the block there.
void saveByteBlock(const ByteBlock& block);

// When the name leads to the file being viewed, shows a message under the title that names it
// and says so, and returns true: the caller then writes nothing.
bool refuseToReplaceViewedFile(const std::string& title, const std::string& name);
