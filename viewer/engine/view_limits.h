// Limits of the view that the engine and the window share.
#pragma once

// The width limit: bytes per row (tiles in a tiled mode) reach at most this.
constexpr int kMaxBytesPerRow = 256;
