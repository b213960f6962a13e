// Number and text conversions on byte texts. Positions are 1-based and counted in bytes;
// out-of-range positions, lengths and indexes never fail, they give shorter or empty texts.
#pragma once

#include <cstdint>
#include <string>

// Decimal digits, "-" before negative values; "0" for zero.
std::string decimalText(int64_t value);

// Leading spaces and tabs, an optional "-" or "+", then "$" and hexadecimal digits, "%" and
// binary digits, or decimal digits, up to the first byte that is no digit of the base.
// No digits give 0; the value wraps modulo 2^64.
int64_t textToNumber(const std::string& text);

// The one rule for numbers the user types (our own dialogs, the command line): decimal digits
// with an optional "-" or "+", or hexadecimal digits (either case) after "$", "0x" or "0X", and
// nothing else (no blanks, no sign after a prefix, no lone prefix). False unless the whole text
// is such a number within [lowest, highest].
bool parseNumberText(const std::string& text, int64_t lowest, int64_t highest, int64_t& value);

// Binary digits of the value taken as unsigned 64 bits, no leading zeros; "0" for zero.
std::string binaryText(int64_t value);

// Exactly max(width, 0) bytes: copies of the first byte of fill (a space when fill is null
// or empty) followed by the start of the text, which loses its end when longer than width.
// The empty text for a width beyond 2^30 or when memory runs out.
std::string padLeft(const std::string& text, int64_t width, const char* fill = nullptr);

std::string reverseText(const std::string& text);

// The index-th (from 1) piece between delimiters; the empty text for an index out of range.
// An empty delimiter makes the whole text field 1.
std::string textField(const std::string& text, int64_t index, const std::string& delimiter);

int64_t textLength(const std::string& text);

// Up to length bytes from position start; a start of 1 or less starts at the first byte.
std::string midText(const std::string& text, int64_t start, int64_t length);

// From position start to the end; a start of 1 or less gives the whole text.
std::string midText(const std::string& text, int64_t start);

// ASCII letters only; every other byte is kept.
std::string upperCase(const std::string& text);
std::string lowerCase(const std::string& text);

// 1-based position of the first occurrence of pattern; 0 when there is none or when either
// text is empty.
int64_t findText(const std::string& text, const std::string& pattern);

// Truncated toward zero; values beyond the 32-bit range saturate, NaN gives 0.
int32_t truncateToInteger(double value);
