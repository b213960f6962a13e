// Places of the view (first byte, width, mode, zoom, display options): showing one, Back and
// Forward through the last places jumped from, and width changes that may keep the first byte.
#pragma once

#include <cstdint>

struct ViewPlace {
    int64_t first;
    int32_t width, mode, zoom, options;  // options: the kPlace* bits of bookmarks.h
    bool operator==(const ViewPlace&) const = default;
};

ViewPlace currentPlace();

// Mode, zoom, options, width and first byte as the place has them, then a render.
void showPlace(const ViewPlace& place);

// Width `width` with `first` as the view's first byte: the row position is the first byte over
// the bytes of a view row, the rest goes into the offset box (as far as its range reaches).
void showViewFrom(int64_t first, int32_t width);

// After a jump: `before` becomes the place Back returns to, when the view has moved.
void noteJumpFrom(const ViewPlace& before);

// Back and Forward: each keeps the last 100 places.
void goBack();
void goForward();

// Another file was loaded: its places have nothing to do with the old ones.
void forgetPlaces();

// View > "Keep first byte when the width changes", remembered in the program's own settings.
bool keepsFirstByte();
void readKeepFirstByte();  // at start: the setting and the menu's check mark
void toggleKeepFirstByte();

// The width bar was moved to its new state (its bound callback), or an arrow key stepped the
// width by `step`: the width changes, keeping the first byte when asked, and the place left
// is noted once for a run of width changes.
void widthBarMoved();
void stepWidth(int step);
