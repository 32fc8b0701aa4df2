// Short builders for the field tables of the pages (ecu::Field rows).
#pragma once
#include "ecudata/fields.h"

namespace ecu {

constexpr double TypeMinD(FieldType type) {
  return type == FieldType::S8    ? -128.0
         : type == FieldType::S16 ? -32768.0
         : type == FieldType::S32 ? -2147483648.0
                                  : 0.0;
}
constexpr double TypeMaxD(FieldType type) {
  return type == FieldType::S8    ? 127.0
         : type == FieldType::U8  ? 255.0
         : type == FieldType::S16 ? 32767.0
         : type == FieldType::U16 ? 65535.0
         : type == FieldType::S32 ? 2147483647.0
                                  : 4294967295.0;
}

// One numeric control (or, with cols > 1, one control per value: control_1 ... control_N).
constexpr Field Num(const char* control, uint32_t offset, FieldType type, int32_t divisor, double min,
                    double max, int decimals, int64_t defaultRaw, uint8_t group = 0, uint16_t cols = 1) {
  Field f{};
  f.control = control;
  f.offset = offset;
  f.type = type;
  f.divisor = divisor;
  f.min = min;
  f.max = max;
  f.decimals = decimals;
  f.defaultRaw = defaultRaw;
  f.group = group;
  f.cols = cols;
  return f;
}

// A byte shown by a toggle or a ring.
constexpr Field Byte(const char* control, uint32_t offset, FieldKind kind, int64_t defaultRaw,
                     uint8_t group) {
  Field f = Num(control, offset, FieldType::U8, 1, 0, 255, 0, defaultRaw, group);
  f.kind = kind;
  return f;
}

// A stored setting without a control.
constexpr Field Hidden(const char* name, uint32_t offset, FieldType type, int64_t defaultRaw) {
  Field f = Num(name, offset, type, 1, TypeMinD(type), TypeMaxD(type), 0, defaultRaw);
  f.kind = FieldKind::Hidden;
  return f;
}

// rows x cols values of a table control, placed from cell (row, col).
constexpr Field Cells(const char* table, uint32_t offset, FieldType type, int32_t divisor, double min,
                      double max, int decimals, int64_t defaultRaw, uint16_t rows, uint16_t cols, int16_t row,
                      int16_t col, uint16_t rowStride = 0, uint16_t colStride = 0) {
  Field f = Num(table, offset, type, divisor, min, max, decimals, defaultRaw);
  f.rows = rows;
  f.cols = cols;
  f.row = row;
  f.col = col;
  f.rowStride = rowStride;
  f.colStride = colStride;
  return f;
}

}  // namespace ecu
