// Limits of the view that the engine and the window share.
#pragma once

// The width limit: bytes per row (tiles in a tiled mode) reach at most this.
constexpr int kMaxBytesPerRow = 256;

// The view's sides in screen pixels: 600 x 512 at the start (kViewWidth, and the window's
// viewHeight); a larger window, or the CLI's --size, makes it up to this on either side.
constexpr int kLargestViewSide = 8192;
