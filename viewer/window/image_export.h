// "Save image...": the SheetImage as the last render left it, as a PNG or BMP file.
#pragma once

void exportImage();

// Image `number` through the same dialog, name rules, writers and messages.
void exportPicture(int number);
