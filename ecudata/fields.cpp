#include "ecudata/fields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "link/bytes.h"
#include "link/utils.h"

namespace ecu {

size_t TypeSize(FieldType type) {
  switch (type) {
    case FieldType::S8:
    case FieldType::U8:
      return 1;
    case FieldType::S16:
    case FieldType::U16:
      return 2;
    case FieldType::S32:
    case FieldType::U32:
      return 4;
  }
  return 1;
}

bool IsSigned(FieldType type) {
  return type == FieldType::S8 || type == FieldType::S16 || type == FieldType::S32;
}

int64_t TypeMin(FieldType type) {
  switch (type) {
    case FieldType::S8:
      return INT8_MIN;
    case FieldType::S16:
      return INT16_MIN;
    case FieldType::S32:
      return INT32_MIN;
    default:
      return 0;
  }
}

int64_t TypeMax(FieldType type) {
  switch (type) {
    case FieldType::S8:
      return INT8_MAX;
    case FieldType::U8:
      return UINT8_MAX;
    case FieldType::S16:
      return INT16_MAX;
    case FieldType::U16:
      return UINT16_MAX;
    case FieldType::S32:
      return INT32_MAX;
    case FieldType::U32:
      return UINT32_MAX;
  }
  return 0;
}

uint32_t ElementOffset(const Field& field, int r, int c) {
  const uint32_t size = static_cast<uint32_t>(TypeSize(field.type));
  const uint32_t colStride = field.colStride ? field.colStride : size;
  const uint32_t rowStride = field.rowStride ? field.rowStride : colStride * field.cols;
  return field.offset + static_cast<uint32_t>(r) * rowStride + static_cast<uint32_t>(c) * colStride;
}

int64_t GetRaw(const uint8_t* block, const Field& field, int r, int c) {
  const uint8_t* p = block + ElementOffset(field, r, c);
  switch (field.type) {
    case FieldType::S8:
      return static_cast<int8_t>(p[0]);
    case FieldType::U8:
      return p[0];
    case FieldType::S16:
      return static_cast<int16_t>(com::Get16LE(p));
    case FieldType::U16:
      return com::Get16LE(p);
    case FieldType::S32:
      return static_cast<int32_t>(com::Get32LE(p));
    case FieldType::U32:
      return com::Get32LE(p);
  }
  return 0;
}

void SetRaw(uint8_t* block, const Field& field, int64_t raw, int r, int c) {
  raw = std::clamp(raw, TypeMin(field.type), TypeMax(field.type));
  uint8_t* p = block + ElementOffset(field, r, c);
  switch (TypeSize(field.type)) {
    case 1:
      p[0] = static_cast<uint8_t>(raw);
      break;
    case 2:
      com::Put16LE(p, static_cast<uint16_t>(raw));
      break;
    default:
      com::Put32LE(p, static_cast<uint32_t>(raw));
      break;
  }
}

double ToShown(const Field& field, int64_t raw) {
  return static_cast<double>(raw) / static_cast<double>(field.divisor > 0 ? field.divisor : 1);
}

int64_t ToRaw(const Field& field, double shown) {
  if (std::isnan(shown)) return 0;
  const double scaled = shown * static_cast<double>(field.divisor > 0 ? field.divisor : 1);
  const double rounded = std::trunc(scaled > 0 ? scaled + 0.5 : scaled - 0.5);
  const double lo = static_cast<double>(TypeMin(field.type)), hi = static_cast<double>(TypeMax(field.type));
  return static_cast<int64_t>(std::clamp(rounded, lo, hi));
}

double ClampShown(const Field& field, double shown) {
  if (std::isnan(shown)) shown = 0;
  if (field.kind == FieldKind::Toggle || field.kind == FieldKind::Ring) return std::clamp(shown, 0.0, 255.0);
  if (field.max <= field.min) return shown;  // no range: the type saturates
  return std::clamp(shown, field.min, field.max);
}

double GetShown(const uint8_t* block, const Field& field, int r, int c) {
  return ToShown(field, GetRaw(block, field, r, c));
}

void SetShown(uint8_t* block, const Field& field, double shown, int r, int c) {
  SetRaw(block, field, ToRaw(field, ClampShown(field, shown)), r, c);
}

void WriteDefaults(uint8_t* block, std::span<const Field> fields) {
  for (const Field& f : fields)
    for (int r = 0; r < f.rows; ++r)
      for (int c = 0; c < f.cols; ++c) SetRaw(block, f, f.defaultRaw, r, c);
}

std::string FormatShown(const Field& field, double shown) {
  return com::FixedText(shown, std::clamp(field.decimals, 0, 9));
}

std::string ElementControl(const Field& field, int i) {
  return std::string(field.control) + "_" + std::to_string(i + 1);
}

const Field* FindField(std::span<const Field> fields, const std::string& control) {
  for (const Field& f : fields) {
    const std::string name = f.control;
    if (name.empty()) continue;
    if (name == control) return &f;
    if (f.Count() > 1 && !f.InTable() && control.size() > name.size() + 1 &&
        control.compare(0, name.size(), name) == 0 && control[name.size()] == '_') {
      const std::string index = control.substr(name.size() + 1);
      if (index.size() <= 4 && index.find_first_not_of("0123456789") == std::string::npos) {
        const int i = std::stoi(index);
        if (i >= 1 && i <= f.Count()) return &f;
      }
    }
  }
  return nullptr;
}

}  // namespace ecu
