#include "viewer/window/view_inputs.h"

#include "graphics/images.h"
#include "support/file_services.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

LoadResult loadViewerData(const std::string& fileName) {
    freeViewerData();
    viewerState.selection = ViewSelection{};
    const DataLoad load = loadDataFile(fileName);
    if (load.result != LoadResult::Ok) return load.result;
    viewerState.loaded = load.file;
    viewerState.releasedAround = 0;
    viewerState.dataBuffer = load.file.bytes;
    viewerState.dataSize = load.file.size;
    viewerState.loadedFileName = load.file.name;
    viewerState.lastFolder = pathPart(fileName);
    viewerState.loadedFile = load.file.identity;
    if (!fileKeyOf(fileName, viewerState.loadedKey)) viewerState.loadedKey = FileKey{};
    viewerState.paletteMode = -1;  // a palette from the data comes from the new data
    return LoadResult::Ok;
}

void freeViewerData() {
    freeDataFile(viewerState.loaded);
    viewerState.dataBuffer = nullptr;
    viewerState.dataSize = 0;
    viewerState.loadedFile = FileIdentity{};
    viewerState.loadedKey = FileKey{};
}

SavedByteForm savedByteForm() {
    return {heldValue(HeldValue::Inverse) != 0, heldValue(HeldValue::ReverseByte) != 0};
}

DataBytes viewerData() {
    return {viewerState.dataBuffer, viewerState.dataSize};
}

bool followDataFile() {
    if (viewerState.dataBuffer == nullptr) return false;
    const int64_t present = dataBytesPresent(viewerState.loaded);
    if (present >= viewerState.dataSize) return false;
    viewerState.dataSize = present;
    return true;
}

bool dataCutShort() {
    return viewerState.dataBuffer != nullptr && viewerState.dataSize < viewerState.loaded.size;
}

int64_t viewFirstByte() {
    return viewerState.byteOffset + heldValue(HeldValue::FineOffset);
}

SheetOptions viewerSheetOptions() {
    SheetOptions options;
    options.first = viewFirstByte();
    options.bytesPerRow = viewerState.bytesPerRow;
    options.zoom = viewerState.zoom;
    options.colourMode = viewerState.colourMode;
    options.viewHeight = viewerState.viewHeight;
    options.viewWidth = viewerState.viewWidth;
    options.inverse = heldValue(HeldValue::Inverse) != 0;
    options.reverseByte = heldValue(HeldValue::ReverseByte) != 0;
    options.nibbleSwap = heldValue(HeldValue::NibbleSwap) != 0;
    options.multiColumn = heldValue(HeldValue::MultiColumn) != 0;
    options.kernels = viewerState.pixelKernels;
    options.palette = viewerState.paletteChosen ? &viewerState.palette : nullptr;
    options.paletteBase = viewerState.paletteBase;
    options.addedModes = &viewerState.formats.modes;
    return options;
}

SheetResult drawViewerSheet() {
    const ImageBuffer* image = imageBuffer(kSheetImage);
    if (viewerState.dataBuffer != nullptr && image == nullptr) return SheetResult::CannotDraw;
    return drawSheet(viewerData(), viewerSheetOptions(), image != nullptr ? *image : ImageBuffer{});
}

ByteBlock selectedBlock() {
    return blockBetweenCells(viewerSheetOptions(), viewerState.selection.anchor,
                             viewerState.selection.corner);
}

bool sameViewAsSelection() {
    const ViewSelection& made = viewerState.selection;
    return made.viewFirst == viewFirstByte() && made.bytesPerRow == viewerState.bytesPerRow &&
           made.zoom == viewerState.zoom && made.colourMode == viewerState.colourMode &&
           made.multiColumn == heldValue(HeldValue::MultiColumn) && made.data == viewerState.dataBuffer &&
           made.viewWidth == viewerState.viewWidth && made.viewHeight == viewerState.viewHeight;
}

void noteSelectionView() {
    ViewSelection& made = viewerState.selection;
    made.viewFirst = viewFirstByte();
    made.bytesPerRow = viewerState.bytesPerRow;
    made.zoom = viewerState.zoom;
    made.colourMode = viewerState.colourMode;
    made.multiColumn = heldValue(HeldValue::MultiColumn);
    made.viewWidth = viewerState.viewWidth;
    made.viewHeight = viewerState.viewHeight;
    made.data = viewerState.dataBuffer;
}
