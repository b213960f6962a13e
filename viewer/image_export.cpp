#include "viewer/image_export.h"

#include <string>

#include "graphics/image_save.h"
#include "shell/requesters.h"
#include "support/text_ops.h"
#include "viewer/sheet_render.h"
#include "viewer/viewer_state.h"

namespace {

constexpr int kPngPattern = 0;
constexpr int kBmpPattern = 1;

// The name with `extension` appended unless its last four characters already are it, in any case.
std::string withImageExtension(const std::string& name, const std::string& extension) {
    const std::string tail = lowerCase(midText(name, textLength(name) - 3));
    return tail == extension ? name : name + extension;
}

}  // namespace

void exportImage() {
    exportPicture(kSheetImage);
}

void exportPicture(int number) {
    std::string name =
        askSaveFileName("Please choose file to save", viewerState.lastFolder + viewerState.loadedFileName,
                        "Portable Network Graphics(*.png)|*.png|Bitmap (*.bmp)|*.bmp", 0);
    if (name.empty()) return;
    int saved = 0;
    switch (selectedPatternIndex()) {
        case kPngPattern:
            name = withImageExtension(name, ".png");
            saved = saveImage(number, name, "PNG");
            break;
        case kBmpPattern:
            name = withImageExtension(name, ".bmp");
            saved = saveImage(number, name);
            break;
        default:
            return;
    }
    if (!saved) showMessage("Save Image Error", "Error saving\r\n" + name);
}
