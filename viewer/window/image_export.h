// "Save image...": the SheetImage as the last render left it, as a PNG or BMP file.
#pragma once

#include <string>

#include "graphics/png_writer.h"

void exportImage();

// Image `number` through the same dialog, name rules, writers and messages; with `values`, a PNG
// holds those colour numbers and their colours instead (the same colours as the image). The name
// of the file written; "" when none was.
std::string exportPicture(int number, const IndexedPicture* values = nullptr);

// Image `number` as the next numbered PNG beside the last one chosen: "NAME-000.png", "-001" and
// on in the folder and with the name (its extension left out) of `lastSaved`, the first number
// whose file does not exist. The name of the file written; "" after a message when none was.
std::string saveNumberedPicture(int number, const std::string& lastSaved,
                                const IndexedPicture* values = nullptr);
