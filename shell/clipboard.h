// The system clipboard: what the program copies there, other programs can paste.
#pragma once

#include <string>

#include "graphics/images.h"

// A 24-bit image as a picture, offered as PNG (among the types the platform converts to).
// Non-zero on success.
int copyImageToClipboard(ImageHandle image);

// Plain text.
void copyTextToClipboard(const std::string& text);
