// Field tables: a record or a page with many fields is described once, as data.
//
// A Field names where a value (or a run, a row or a grid of values) lies in a block,
// how it is stored (signed or unsigned, 8/16/32 bits, little-endian), how it is shown
// (raw / divisor with a number of decimals, within a range), which control shows it,
// which group of the page it belongs to and what its default is. Scatter, gather,
// clamps, defaults and the command line all read the same table.
//
// Placement of the elements: element (r, c) of a field with `rows` x `cols` values
// lies at offset + r * rowStride + c * colStride. In a table control it goes to cell
// (row + r, col + c); a field of several values that is not in a table is shown by
// one control per value, named control + "_1" ... control + "_N".
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ecu {

enum class FieldType : uint8_t { S8, U8, S16, U16, S32, U32 };

// How the field meets the user: a numeric control (or table cells), a toggle, a ring
// (toggles and rings hold the byte as it is), or not at all (a stored setting that no
// control shows; only its default and the checks use it).
enum class FieldKind : uint8_t { Numeric, Toggle, Ring, Hidden };

struct Field {
  const char* control;  // objectName of the control; "" for a hidden field
  uint32_t offset;
  FieldType type;
  int32_t divisor = 1;      // shown = raw / divisor
  double min = 0, max = 0;  // range shown
  int decimals = 0;
  int64_t defaultRaw = 0;
  uint8_t group = 0;  // the page's group (0: always shown)
  FieldKind kind = FieldKind::Numeric;
  uint16_t rows = 1, cols = 1;
  uint16_t rowStride = 0, colStride = 0;  // bytes; 0 means packed (TypeSize, rows after cols)
  int16_t row = -1, col = -1;             // first cell in a table control; -1: not in a table

  int Count() const { return rows * cols; }
  bool InTable() const { return row >= 0 && col >= 0; }
};

size_t TypeSize(FieldType type);
bool IsSigned(FieldType type);
// Smallest and largest raw value of a type.
int64_t TypeMin(FieldType type);
int64_t TypeMax(FieldType type);

// Byte offset of element (r, c).
uint32_t ElementOffset(const Field& field, int r, int c);

// Typed little-endian access to element (r, c) of a field in a block.
int64_t GetRaw(const uint8_t* block, const Field& field, int r = 0, int c = 0);
// Stores a raw value, saturated to the type's range.
void SetRaw(uint8_t* block, const Field& field, int64_t raw, int r = 0, int c = 0);

// Raw <-> shown. ToRaw rounds to the nearest integer with halves away from zero
// (trunc(x + 0.5) above 0, trunc(x - 0.5) otherwise) and saturates to the type.
double ToShown(const Field& field, int64_t raw);
int64_t ToRaw(const Field& field, double shown);
// A shown value brought into the field's range (a toggle or ring: 0..255).
double ClampShown(const Field& field, double shown);

// Shown value of element (r, c) and storing a shown value there (clamped, rounded).
double GetShown(const uint8_t* block, const Field& field, int r = 0, int c = 0);
void SetShown(uint8_t* block, const Field& field, double shown, int r = 0, int c = 0);

// Writes every element's default.
void WriteDefaults(uint8_t* block, std::span<const Field> fields);

// The shown value as text with the field's decimals ("12.5", "-0.200").
std::string FormatShown(const Field& field, double shown);
// Control name of element i of a field shown by one control per value ("NUMthrAtransP_3").
std::string ElementControl(const Field& field, int i);
// The field whose control is `control` (or whose element control it is), or null.
const Field* FindField(std::span<const Field> fields, const std::string& control);

}  // namespace ecu
