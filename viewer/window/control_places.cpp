#include "viewer/window/control_places.h"

#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

struct BoxPlace {
    int number, x, width;
};

// The option boxes and the offset box, left to right under the width bar.
constexpr BoxPlace kBoxPlaces[] = {
    {kInverseBox, 0, 30},  {kReverseBox, 40, 40},  {kGridBox, 80, 40},     {kMultiBox, 120, 40},
    {kNibbleBox, 160, 40}, {kPreviewBox, 200, 40}, {kOffsetSpin, 240, 80},
};

// The palette strip: right of the offset box, a pixel a colour for 256 colours; inset in the row of
// boxes so that it reads as a swatch rather than a control.
constexpr ControlPlace kPaletteStripPlace = {330, 2, 256, 16};

}  // namespace

ControlPlace controlPlace(int control) {
    const int width = viewerState.viewWidth, height = viewerState.viewHeight;
    if (control == kCanvas) return {0, 0, width, height};
    if (control == kRowScroll) return {width, 0, kBarThickness, height};
    if (control == kWidthScroll) return {0, height, width, kBarThickness};
    if (control == kPaletteStrip)
        return {kPaletteStripPlace.x, height + kBarThickness + kPaletteStripPlace.y, kPaletteStripPlace.width,
                kPaletteStripPlace.height};
    for (const BoxPlace& box : kBoxPlaces)
        if (box.number == control) return {box.x, height + kBarThickness, box.width, kBarThickness};
    return {0, 0, 0, 0};
}

int windowWidthForView(int viewWidth) {
    return viewWidth + kBarThickness;
}

int windowHeightForView(int viewHeight) {
    return viewHeight + kBelowView;
}
