// Where the view stands in the data: the row bar and the offset box set together, and the rows
// the width bar's width gives; shared by the loading and the moving commands.
#pragma once

#include <cstdint>

// Bytes of one view row at the width the width bar shows.
int64_t rowBytesOfWidthBox();

// The view row that holds the last byte of the data.
int64_t lastDataRow();

// The view at this row position and fine offset, the offset box showing it; no render.
void placeView(int64_t row, int32_t fineOffset);

// A view that starts at or past the end of the data moves to the row that holds its last byte,
// as End does; no render.
void keepViewInData();
