// The row bar holds a 32-bit position: with more view rows than that, its positions stand for
// rows spread evenly over the data, the first and the last row included.
#pragma once

#include <cstdint>

// The most positions the row bar holds.
constexpr int64_t kRowBarLimit = INT32_MAX;

// The bar's position for the row, with lastRow the bar's last row: the row itself up to the
// limit, else scaled down (toward zero).
constexpr int64_t rowBarValue(int64_t row, int64_t lastRow) {
    if (lastRow <= kRowBarLimit) return row;
    return static_cast<int64_t>(static_cast<__int128>(row) * kRowBarLimit / lastRow);
}

// The first row whose bar position is `bar`, so that rowBarValue(rowOfBarValue(bar)) == bar.
constexpr int64_t rowOfBarValue(int64_t bar, int64_t lastRow) {
    if (lastRow <= kRowBarLimit) return bar;
    const __int128 scaled = static_cast<__int128>(bar) * lastRow;
    return static_cast<int64_t>((scaled + kRowBarLimit - 1) / kRowBarLimit);
}
