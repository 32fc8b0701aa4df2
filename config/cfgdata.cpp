#include "config/cfgdata.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "config/bike.h"
#include "ecudata/fieldkeep.h"
#include "ecudata/fieldmake.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/cp1252.h"

namespace config {

namespace {

using ecu::Field;
using ecu::FieldKind;
using ecu::FieldType;

using ecu::Num;

constexpr Field Row(const char* table, uint32_t offset, int32_t divisor, double max, int decimals,
                    int16_t row) {
  Field f = Num(table, offset, FieldType::S16, divisor, 0, max, decimals, 0, kAlways);
  f.cols = kVbatPoints;
  f.row = row;
  f.col = 0;
  return f;
}

constexpr Field Toggle(const char* control, uint32_t offset) {
  Field f = Num(control, offset, FieldType::U8, 1, 0, 1, 0, 0, kAlways);
  f.kind = FieldKind::Toggle;
  return f;
}

constexpr Field Constant(const char* name, uint32_t offset, FieldType type, int64_t value,
                         uint16_t count = 1) {
  Field f = Num(name, offset, type, 1, 0, 0, 0, value, kHiddenGroup);
  f.kind = FieldKind::Hidden;
  f.cols = count;
  return f;
}

constexpr Field kFields[] = {
    Row("TABdwell", kDwellVolts, 10, 20, 1, 0),
    Row("TABdwell", kDwellTimes, 1000, 32, 3, 1),
    Row("TABoffsVbat", kOffsVolts, 10, 20, 1, 0),
    Row("TABoffsVbat", kOffsA, 1000, 32, 3, 1),
    Row("TABoffsVbat", kOffsB, 1000, 32, 3, 2),
    Num("NUMidlKp", 1136, FieldType::S32, 65536, 0, 100, 2, 0, kIdlingGroup),
    Num("NUMidlKi", 1140, FieldType::S32, 65536, 0, 1000, 4, 0, kIdlingGroup),
    Num("NUMidlKd", 1144, FieldType::S32, 65536, 0, 100, 3, 0, kIdlingGroup),
    Num("NUMthrEnableInjB", 1148, FieldType::U16, 1000, 0, 32, 3, 0, kDoubleInjGroup),
    Num("NUMkInjBratio", 1150, FieldType::U16, 1000, 0, 2, 3, 1000, kDoubleInjGroup),
    Num("NUMkInjFlow", 1152, FieldType::U16, 1, 0, 65535, 0, 0, kAlways),
    Toggle("TBdropSwitchType", 1210),
    Toggle("TBdropSwitchOn", 1211),
    Constant("constant3300", 1160, FieldType::U16, 3300),
    Constant("constant1204", 1204, FieldType::U8, 1),
    Constant("constant1205", 1205, FieldType::U8, 0, 5),
    Constant("constant1212", 1212, FieldType::U8, 0, 4),
    Constant("constant1216", 1216, FieldType::U8, 2),
};

// Engine geometry (1162..1180) and crank wheel (1181..1186), record 0: two cylinders,
// top dead centre 0.0 and 270.0 degrees, triggers 0/1, injectors A 0/1 and B 2/3, a
// 48-2 wheel read over two revolutions without a cam sensor.
struct Geometry {
  int16_t tdc[2];
  uint8_t trigger[2], injA[2], injB[2], further[8];
  uint8_t cylinders;
};
struct CrankWheel {
  uint8_t bytes[6];
};
constexpr Geometry kGeometry[] = {{{0, 2700}, {0, 1}, {0, 1}, {2, 3}, {0, 1, 0, 0, 0, 0, 0, 0}, 2}};
constexpr CrankWheel kCrankWheel[] = {{{48, 2, 1, 1, 5, 2}}};

int16_t Get(const uint8_t* block, uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(block + offset + 2 * i));
}
void Copy(uint8_t* block, uint32_t offset, int from, int to) {
  std::memcpy(block + offset + 2 * to, block + offset + 2 * from, 2);
}

}  // namespace

std::span<const ecu::Field> CfgFields() {
  return kFields;
}

void SetEngineGeometry(uint8_t* block, int record) {
  (void)record;  // one built-in record
  const Geometry& g = kGeometry[0];
  com::Put16LE(block + 1162, static_cast<uint16_t>(g.tdc[0]));
  com::Put16LE(block + 1164, static_cast<uint16_t>(g.tdc[1]));
  std::memcpy(block + 1166, g.trigger, 2);
  std::memcpy(block + 1168, g.injA, 2);
  std::memcpy(block + 1170, g.injB, 2);
  std::memcpy(block + 1172, g.further, 8);
  block[1180] = g.cylinders;
}

void SetCrankWheel(uint8_t* block, int record) {
  (void)record;
  std::memcpy(block + 1181, kCrankWheel[0].bytes, 6);
}

void InitCfgData(uint8_t* block) {
  SetEngineGeometry(block);
  SetCrankWheel(block);
  PutBikeCode(block, kBikeNotSet);
  ecu::WriteDefaults(block, kFields);  // constants, toggles 0, tables 0, gains 0, ratio 1.000
  block[kNotesOffset] = 0;
  block[kDashTitleOffset] = 0;
}

void WriteCfgConstants(uint8_t* block) {
  SetEngineGeometry(block);
  SetCrankWheel(block);
  for (const Field& f : kFields)
    if (f.kind == FieldKind::Hidden) ecu::WriteDefaults(block, std::span<const Field>(&f, 1));
}

bool SortVbatTables(uint8_t* block, const uint8_t* before) {
  bool changed = false;
  // With `before`, a table is sorted only when the gather changed it (it was edited).
  const auto edited = [&](std::initializer_list<uint32_t> runs) {
    if (!before) return true;
    for (uint32_t offset : runs)
      if (ecu::RunEdited(before, block, offset, 2 * kVbatPoints)) return true;
    return false;
  };
  const bool dwell = edited({kDwellVolts, kDwellTimes});
  const bool offsets = edited({kOffsVolts, kOffsA, kOffsB});
  for (int i = 1; i < kVbatPoints && dwell; ++i) {
    if (Get(block, kDwellVolts, i) < Get(block, kDwellVolts, i - 1)) {
      Copy(block, kDwellVolts, i - 1, i);
      Copy(block, kDwellTimes, i - 1, i);
      changed = true;
    }
  }
  for (int i = 1; i < kVbatPoints && offsets; ++i) {
    if (Get(block, kOffsVolts, i) < Get(block, kOffsVolts, i - 1)) {
      Copy(block, kOffsVolts, i - 1, i);
      Copy(block, kOffsA, i - 1, i);
      Copy(block, kOffsB, i - 1, i);
      changed = true;
    }
  }
  return changed;
}

namespace {
std::string FieldBytes(const uint8_t* block, uint32_t offset, uint32_t size) {
  const uint8_t* p = block + offset;
  const void* nul = std::memchr(p, 0, size);
  const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : size;
  return std::string(reinterpret_cast<const char*>(p), n);
}
}  // namespace

std::string GetNotes(const uint8_t* block) {
  return com::FromCp1252(FieldBytes(block, kNotesOffset, kNotesSize - 1));
}

void PutNotes(uint8_t* block, const std::string& utf8) {
  // The text and its terminator; the bytes after it stay as they were, so a file's
  // block comes back byte for byte when its notes were not edited.
  const std::string bytes = com::ToCp1252(utf8, kNotesSize - 1);
  std::memcpy(block + kNotesOffset, bytes.data(), bytes.size());
  block[kNotesOffset + bytes.size()] = 0;
  block[kNotesOffset + kNotesSize - 1] = 0;
}

std::string GetDashTitle(const uint8_t* block) {
  return com::FromCp1252(FieldBytes(block, kDashTitleOffset, kDashTitleSize));
}

void PutDashTitle(uint8_t* block, const std::string& utf8) {
  const std::string bytes = com::ToCp1252(utf8, kDashTitleSize);
  std::memset(block + kDashTitleOffset, 0, kDashTitleSize);
  std::memcpy(block + kDashTitleOffset, bytes.data(), bytes.size());
}

uint32_t GetBikeCode(const uint8_t* block) {
  return com::Get32LE(block + ecu::kParBikeOffset);
}

void PutBikeCode(uint8_t* block, uint32_t code) {
  com::Put32LE(block + ecu::kParBikeOffset, code);
}

BikeRings BikeRingItems(uint32_t code) {
  BikeRings rings;
  int families = 0;
  while (families < 256 && szTypeBike(families, 0)[0] != '\0') ++families;
  for (int f = 0; f < families; ++f) rings.family.push_back({szTypeBike(f, 0), f});
  const int family = static_cast<int>((code >> 16) & 0xFF);
  if (family >= families) {
    rings.family.push_back({"-undefined-", 255});
    rings.model.push_back({"", 0});
    rings.year.push_back({"", 0});
    return rings;
  }
  int models = 0;
  while (models < 255 && szTypeBike(family, 1 + models)[0] != '\0') ++models;
  for (int m = 0; m < models; ++m) rings.model.push_back({szTypeBike(family, 1 + m), m});
  int model = static_cast<int>((code >> 8) & 0xFF);
  if (model >= models) model = 0;
  for (int y = 0; y < 256; ++y)
    if (IsCatalogued(MakeBikeCode(family, model, y))) rings.year.push_back({szYear(y), y});
  return rings;
}

}  // namespace config
