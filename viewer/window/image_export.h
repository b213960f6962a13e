// "Save image...": the SheetImage as the last render left it, as a PNG or BMP file.
#pragma once

#include <string>

void exportImage();

// Image `number` through the same dialog, name rules, writers and messages. The name of the file
// written; "" when none was.
std::string exportPicture(int number);

// Image `number` as the next numbered PNG beside the last one chosen: "NAME-000.png", "-001" and
// on in the folder and with the name (its extension left out) of `lastSaved`, the first number
// whose file does not exist. The name of the file written; "" after a message when none was.
std::string saveNumberedPicture(int number, const std::string& lastSaved);
