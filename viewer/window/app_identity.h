// What the desktop knows the viewer by: the name of its desktop entry and its icon.
#pragma once

#include <span>

#include "shell/window_shell.h"

// The reverse-DNS name of the desktop entry, the AppStream component and the icon.
extern const char* const kDesktopEntryName;

// The icon's PNG pictures, 16 to 256 pixels, built into the program.
std::span<const PictureBytes> appIconPictures();
