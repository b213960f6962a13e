#include "viewer/window/image_export.h"

#include <cstdio>
#include <string>

#include "graphics/image_save.h"
#include "shell/requesters.h"
#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/window/data_commands.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int kPngPattern = 0;
constexpr int kBmpPattern = 1;
constexpr int kLargestNumber = 999999;

// The last "." of the name's last part and what follows; "" when there is none.
std::string extensionOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return name.substr(dot);
}

// The name with `extension` appended unless its last four characters already are it, in any case.
std::string withImageExtension(const std::string& name, const std::string& extension) {
    const std::string tail = lowerCase(midText(name, textLength(name) - 3));
    return tail == extension ? name : name + extension;
}

// The loaded name with the extension of the type first shown, so that accepting the proposal
// never names the loaded file itself.
std::string proposedName() {
    if (viewerState.loadedFileName.empty()) return viewerState.lastFolder;
    return viewerState.lastFolder + viewerState.loadedFileName + ".png";
}

// The proposal kept while the BMP type was chosen takes the BMP extension instead.
std::string withChosenTypeOfProposal(const std::string& name) {
    const std::string proposed = viewerState.loadedFileName + ".png";
    if (viewerState.loadedFileName.empty() || filePart(name) != proposed) return name;
    return name.substr(0, name.size() - 4) + ".bmp";
}

// The PNG: of the colour numbers when there are some, else of image `number`.
int savePng(int number, const std::string& name, const IndexedPicture* values) {
    return values != nullptr ? writeIndexedPng(name, *values) : saveImage(number, name, "PNG");
}

}  // namespace

void exportImage() {
    exportPicture(kSheetImage);
}

std::string exportPicture(int number, const IndexedPicture* values) {
    std::string name = askSaveFileName("Please choose file to save", proposedName(),
                                       "Portable Network Graphics(*.png)|*.png|Bitmap (*.bmp)|*.bmp", 0);
    if (name.empty()) return "";
    const int pattern = selectedPatternIndex();
    if (pattern == kPngPattern) name = withImageExtension(name, ".png");
    if (pattern == kBmpPattern) name = withImageExtension(withChosenTypeOfProposal(name), ".bmp");
    if (pattern != kPngPattern && pattern != kBmpPattern) return "";
    if (refuseToReplaceViewedFile("Save Image Error", name)) return "";
    const int saved = pattern == kPngPattern ? savePng(number, name, values) : saveImage(number, name);
    if (saved) return name;
    showMessage("Save Image Error", "Error saving\r\n" + name);
    return "";
}

std::string saveNumberedPicture(int number, const std::string& lastSaved, const IndexedPicture* values) {
    const std::string base = lastSaved.substr(0, lastSaved.size() - extensionOf(lastSaved).size());
    std::string name;
    for (int n = 0; name.empty() || fileIdentity(name).exists; ++n) {
        if (n > kLargestNumber) {
            showMessage("Save Image Error", "No free number left for\r\n" + base);
            return "";
        }
        char number[16];
        std::snprintf(number, sizeof number, "-%03d.png", n);
        name = base + number;
    }
    if (refuseToReplaceViewedFile("Save Image Error", name)) return "";
    if (savePng(number, name, values)) return name;
    showMessage("Save Image Error", "Error saving\r\n" + name);
    return "";
}
