#include "viewer/window/data_commands.h"

#include <cstdint>
#include <string>
#include <vector>

#include "shell/command_line.h"
#include "shell/controls.h"
#include "shell/file_drop.h"
#include "shell/requesters.h"
#include "support/file_services.h"
#include "support/text_ops.h"
#include "viewer/engine/data_buffer.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/window/render_view.h"
#include "viewer/window/view_inputs.h"
#include "viewer/window/view_position.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

struct LoadMessage {
    LoadResult result;
    const char* title;
    const char* text;
    bool withName;
};

constexpr LoadMessage kLoadMessages[] = {
    {LoadResult::Memory, "Memory", "Unable to allocate memory!", false},
    {LoadResult::Open, "File Error", "Unable to open:", true},
    {LoadResult::Denied, "File Error", "Permission denied:", true},
    {LoadResult::Read, "File Read Error", "Unable to read:", true},
    {LoadResult::TooLarge, "File Error", "File too large (over 1 PiB):", true},
    {LoadResult::TooLong, "File Read Error", "More than 1 GiB to read from:", true},
};

// Loads the file and sets the row bar's range for it, the view following the bar; on failure
// shows the message.
bool loadAndReport(const std::string& fileName) {
    const LoadResult result = loadViewerData(fileName);
    if (result == LoadResult::Ok) {
        followScrollBars();
        keepViewInData();
        return true;
    }
    for (const LoadMessage& message : kLoadMessages) {
        if (message.result == result) {
            showMessage(message.title,
                        message.withName ? message.text + fileName : std::string(message.text));
        }
    }
    return false;
}

bool loadAndRender(const std::string& fileName) {
    if (!loadAndReport(fileName)) return false;
    renderView();
    return true;
}

void reportVanishedBytes() {
    showMessage("Save binary file",
                "Not saved: the file was cut short since it was opened, and these bytes are gone");
}

}  // namespace

bool openDataFileCommand() {
    const std::string name =
        askOpenFileName("Please choose file to load", viewerState.lastFolder, "All files (*.*)|*.*", 0);
    if (name.empty()) return true;
    viewerState.lastFolder = pathPart(name);
    return loadAndRender(name);
}

bool loadDroppedFiles() {
    const std::vector<std::string> names = droppedFileNames();
    return loadAndRender(names.empty() ? std::string() : names.front());
}

bool loadStartFile() {
    if (argumentCount() < 1) return true;
    return loadAndRender(argument(0));
}

void reportNotANumber(const std::string& text) {
    showMessage("wrong input", "can't convert:" + text);
}

void saveBinaryRange() {
    const std::string text = askText("size", "Enter size(hex/dec)", "0000");
    if (text.empty()) return;
    const SizeNumber size = parseSizeText(text);
    if (!size.ok) {
        reportNotANumber(text);
        return;
    }
    const int64_t first = viewFirstByte();
    if (checkRange(first, size.value, viewerState.loaded.size) != RangeCheck::Ok) {
        showMessage("Save binary file", "Too big value!");
        return;
    }
    followDataFile();
    if (checkRange(first, size.value, viewerState.dataSize) != RangeCheck::Ok) {
        reportVanishedBytes();
        return;
    }
    saveByteBlock(ByteBlock{first, size.value, size.value, 1});
}

void saveByteBlock(const ByteBlock& block) {
    std::string name =
        askSaveFileName("Please choose file to save", viewerState.lastFolder, "Binary file (*.bin)|*.bin", 0);
    if (name.empty()) return;
    name = withBinExtension(name);
    if (refuseToReplaceViewedFile("Save binary file", name)) return;
    if (writeByteBlock(name, viewerData(), block, savedByteForm())) return;
    if (followDataFile()) {
        reportVanishedBytes();
    } else {
        showMessage("Save binary file", "Cannot save\r\n" + name);
    }
}

bool refuseToReplaceViewedFile(const std::string& title, const std::string& name) {
    if (!isLoadedFile(name, viewerState.loadedFile)) return false;
    showMessage(title, "Not saved: this is the file being viewed\r\n" + name);
    return true;
}
