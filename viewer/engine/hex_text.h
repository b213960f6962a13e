// Bytes as hexadecimal text for the clipboard.
#pragma once

#include <string>

#include "viewer/engine/data_buffer.h"

// Largest block blockHexText turns into text.
constexpr int64_t kLargestHexBlock = int64_t{1} << 22;

// The block's bytes as writeByteBlock writes them, as text: lines of up to 16 bytes that follow
// each other in the file, each line the file offset of its first byte (at least 8 hexadecimal
// digits), two spaces and the bytes as two upper-case digits apart, then a line end. False,
// and no text, for a block that reaches past the data, holds more than kLargestHexBlock bytes,
// or whose mapped bytes vanished while read.
bool blockHexText(const DataBytes& data, const ByteBlock& block, SavedByteForm form, std::string& text);
