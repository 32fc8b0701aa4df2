// Small helpers shared by Kestra and Kalvex: byte swapping, the 16-bit image
// checksum, file-name handling, padding and the seconds clock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace com {

uint16_t Swap16(uint16_t value);
uint32_t Swap32(uint32_t value);

// 16-bit one's-complement sum of the little-endian words from byte 2 up to `length`,
// complemented. The first word of the range is not included.
uint16_t GetChecksum(const uint8_t* bytes, uint32_t length);

// Position (index into `path`) just after the last '.', when that dot follows the last
// directory separator and is followed by at most 4 characters; otherwise path.size().
// Both '/' and '\\' count as separators.
size_t GetFileExtension(const std::string& path);
// Replaces the extension found by GetFileExtension, or appends '.' + extension.
// An empty path stays empty.
std::string SetFileExtension(const std::string& path, const std::string& extension);
// Writes the file name without directory and extension into `name`; returns the
// position of the extension in `path` (as GetFileExtension).
size_t SplitFileName(const std::string& path, std::string& name);
// Directory part of a path, without the trailing separator ("" when there is none).
std::string DirectoryOf(const std::string& path);
// Cuts `text` after `width` characters and pads it with `fill` up to `width`.
std::string Padr(const std::string& text, size_t width, char fill);

// Copies a NUL-terminated text out of a fixed field of at most `size` bytes.
std::string FieldText(const uint8_t* field, size_t size);
// Writes `text` into a fixed field, cut to size - 1 characters and NUL-padded.
void SetFieldText(uint8_t* field, size_t size, const std::string& text);

// A number with `decimals` digits after a decimal point ("12.500", "-3"), exactly as
// printf's "%.*f" writes it in the C locale ("-0.00" for a tiny negative value); never a
// decimal comma, whatever the desktop's locale (files and the window write numbers
// through these helpers).
std::string FixedText(double value, int decimals);
// The same, but a value that reads as zero is written without a sign ("0.0", not "-0.0"),
// as spreadsheets and controls expect.
std::string FixedTextUnsignedZero(double value, int decimals);
// A number typed or pasted with a decimal point or a single decimal comma ("12,5");
// false for anything else (no group separators, nothing after the number).
bool ParseDecimal(std::string text, double* value);

// Seconds since program start (steady clock). Tests may install their own clock.
double Timer();
void SetTimerSource(std::function<double()> source);  // empty function restores the real clock

}  // namespace com
