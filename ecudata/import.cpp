#include "ecudata/import.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "ecudata/defaults.h"
#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "ecudata/restore.h"
#include "link/bytes.h"
#include "link/userio.h"
#include "link/utils.h"
#include "live/lineariz.h"
#include "maps/computaz.h"
#include "maps/map1.h"

namespace ecu {

uint8_t q740v1_2ParData[kV12ParSize];
uint8_t q740v1_2MapData[kV12MapSize];
uint8_t talarisParData[kTalarisParSize];
uint8_t talarisMapData[kTalarisMapSize];

namespace {

constexpr int kNone = -1;  // a field the old family does not have

// Shapes of the map block's table groups: row-major tables, then the column axis,
// then the row axis.
constexpr int kBigRows = 20, kBigCols = 32;
constexpr uint32_t kBigTable = kBigRows * kBigCols * 2;  // 1280 bytes
constexpr int kSmallRows = 8, kSmallCols = 16;
constexpr uint32_t kSmallTable = kSmallRows * kSmallCols * 2;  // 256 bytes
// The old family's single-row groups: two 32-value rows and a 32-entry axis.
constexpr int kOldRowPoints = 32;

int16_t S16(const uint8_t* block, uint32_t offset) {
  return static_cast<int16_t>(com::Get16LE(block + offset));
}
void PutS16(uint8_t* block, uint32_t offset, int64_t value) {
  com::Put16LE(block + offset, static_cast<uint16_t>(static_cast<int16_t>(value)));
}

// Division rounded toward minus infinity (b > 0); the plain integer division for a >= 0.
// With it, "add half the divisor, then divide" rounds to the nearest value with halves
// up for negative numerators too, where truncation would pull them toward zero.
int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Mean of two values with halves rounded up: equal values give themselves back.
int64_t Mean(int64_t a, int64_t b) {
  return FloorDiv(a + b + 1, 2);
}

class Converter {
 public:
  Converter(uint8_t* block, const uint8_t* old, int version)
      : new_(block), old_(old), v12_(version == kImportV12) {}

  // Copies `size` bytes to `to` from the old block at `fromV12` or `fromTalaris`
  // (whichever applies); kNone leaves the default.
  void Copy(uint32_t to, int fromV12, int fromTalaris, uint32_t size) const {
    const int from = v12_ ? fromV12 : fromTalaris;
    if (from == kNone) return;
    std::memcpy(new_ + to, old_ + from, size);
  }
  bool V12() const { return v12_; }
  uint8_t* New() const { return new_; }
  const uint8_t* Old() const { return old_; }

 private:
  uint8_t* new_;
  const uint8_t* old_;
  bool v12_;
};

// The 16-entry axis rebuilt from the old first and last points: evenly spaced, the
// division truncated toward zero.
void RebuildAxis(uint8_t* block, uint32_t to, int16_t first, int16_t last) {
  PutS16(block, to, first);
  for (int i = 1; i < 15; ++i) {
    const int32_t step = (i * (static_cast<int32_t>(last) - first)) / 15;
    PutS16(block, to + 2 * i, first + step);
  }
  PutS16(block, to + 30, last);
}

// The point of the old row axis that new row point `point` stands for: the old axis
// mapped linearly onto the new one end to end, rounded to the nearest value (halves up).
int16_t RegridTarget(int16_t point, int16_t d0, int16_t d19, int16_t s0, int16_t s19) {
  const int64_t span = static_cast<int64_t>(d19) - d0;
  if (span <= 0) return s0;
  const int64_t numerator = (static_cast<int64_t>(point) - d0) * (static_cast<int64_t>(s19) - s0) + span / 2;
  return static_cast<int16_t>(FloorDiv(numerator, span) + s0);
}

// Re-grids one 20 x 32 table of a group onto the fixed throttle axis. The old row
// axis is read at `oldRowAxis`; the new one must already hold bpMapThrottle.
void RegridTable(uint8_t* block, uint32_t newTable, uint32_t newRowAxis, const uint8_t* old,
                 uint32_t oldTable, uint32_t oldRowAxis) {
  int16_t axis[kBigRows];
  for (int r = 0; r < kBigRows; ++r) axis[r] = S16(old, oldRowAxis + 2 * r);
  auto oldCell = [&](int r, int c) -> int64_t { return S16(old, oldTable + 2 * (r * kBigCols + c)); };
  // Rows 0 and 19 stay as they were.
  std::memcpy(block + newTable, old + oldTable, kBigCols * 2);
  std::memcpy(block + newTable + (kBigRows - 1) * kBigCols * 2,
              old + oldTable + (kBigRows - 1) * kBigCols * 2, kBigCols * 2);
  const int16_t d0 = S16(block, newRowAxis), d19 = S16(block, newRowAxis + 2 * (kBigRows - 1));
  for (int r = 1; r < kBigRows - 1; ++r) {
    const int16_t t = RegridTarget(S16(block, newRowAxis + 2 * r), d0, d19, axis[0], axis[kBigRows - 1]);
    uint16_t lo = 0, hi = 0;
    maps::CercaIntervalloS16(&lo, &hi, t, axis, kBigRows);
    for (int c = 0; c < kBigCols; ++c) {
      const int64_t a = oldCell(lo, c), b = oldCell(hi, c);
      int64_t value;
      if (axis[lo] == axis[hi]) {
        value = Mean(a, b);
      } else {
        const double part = static_cast<double>(b - a) * (static_cast<double>(t) - axis[lo]) /
                            (static_cast<double>(axis[hi]) - axis[lo]);
        // Nearest value, halves up (also for a falling row).
        value = a + static_cast<int64_t>(std::floor(part + 0.5));
      }
      if (value < INT16_MIN) value = INT16_MIN;
      if (value > INT16_MAX) value = INT16_MAX;
      PutS16(block, newTable + 2 * (r * kBigCols + c), value);
    }
  }
}

// A group of `tables` 20 x 32 tables re-gridded table by table over its shared axes.
void RegridGroup(uint8_t* block, uint32_t group, const uint8_t* old, uint32_t oldGroup, int tables) {
  const uint32_t colAxis = tables * kBigTable;
  const uint32_t rowAxis = colAxis + kBigCols * 2;
  for (int r = 0; r < kBigRows; ++r) PutS16(block, group + rowAxis + 2 * r, maps::bpMapThrottle[r]);
  std::memcpy(block + group + colAxis, old + oldGroup + colAxis, kBigCols * 2);
  for (int k = 0; k < tables; ++k)
    RegridTable(block, group + k * kBigTable, group + rowAxis, old, oldGroup + k * kBigTable,
                oldGroup + rowAxis);
}

// A group of two 8 x 16 tables from the old family's two 32-value rows and their axis:
// neighbouring pairs of points merged, every row of a table the same. The row axis
// keeps its default.
void HalveGroup(uint8_t* block, uint32_t group, const uint8_t* old, uint32_t oldGroup) {
  const uint32_t oldAxis = oldGroup + 2 * kOldRowPoints * 2;
  const uint32_t colAxis = group + 2 * kSmallTable;
  for (int i = 0; i < kOldRowPoints; i += 2) {
    const int j = i / 2;
    PutS16(block, colAxis + 2 * j, Mean(S16(old, oldAxis + 2 * i), S16(old, oldAxis + 2 * (i + 1))));
    for (int k = 0; k < 2; ++k) {
      const uint32_t oldRow = oldGroup + k * kOldRowPoints * 2;
      const int64_t value = Mean(S16(old, oldRow + 2 * i), S16(old, oldRow + 2 * (i + 1)));
      for (int row = 0; row < kSmallRows; ++row)
        PutS16(block, group + k * kSmallTable + 2 * (row * kSmallCols + j), value);
    }
  }
}

void ConvertConfiguration(const Converter& cv) {
  uint8_t* block = cv.New();
  const uint8_t* old = cv.Old();
  // Start-up state: bytes that no page writes are zero, as before any file was loaded.
  std::memset(block, 0, kParSize);
  InitConfigurationDefaults();
  cv.Copy(64, 0, 0, 400);
  cv.Copy(464, 528, 400, 64);
  for (int i = 0; i < live::kLnrPoints; ++i) PutS16(block, 528 + 2 * i, live::bpLinearizThrottle[i]);
  const uint32_t first = cv.V12() ? 624 : 496, last = cv.V12() ? 654 : 526;
  RebuildAxis(block, 560, S16(old, first), S16(old, last));
  cv.Copy(592, 656, 528, 64);
  cv.Copy(656, 720, kNone, 64);
  cv.Copy(720, 784, kNone, 64);
  cv.Copy(784, 848, kNone, 64);
  cv.Copy(848, 976, kNone, 64);
  cv.Copy(912, 1040, kNone, 64);
  cv.Copy(1040, 1168, 656, 96);
  cv.Copy(1136, 1264, 752, 4);
  cv.Copy(1140, 1268, 756, 4);
  cv.Copy(1144, 1272, 760, 4);
  cv.Copy(1148, 1276, kNone, 2);
  cv.Copy(1150, 1278, kNone, 2);
  com::Put32LE(block + kParBikeOffset, cv.V12() ? V12BikeWord(old[1302]) : kTalarisBikeWord);
  cv.Copy(1187, 1309, kNone, 15);
  cv.Copy(1210, 1330, 790, 1);
  cv.Copy(1211, 1331, 791, 1);
  cv.Copy(1216, 1336, kNone, 1);
  cv.Copy(1272, 1392, 858, 2);
}

void ConvertMapping(const Converter& cv) {
  uint8_t* block = cv.New();
  const uint8_t* old = cv.Old();
  std::memset(block, 0, kMapSize);
  InitMappingDefaults();
  cv.Copy(64, 0, 0, 400);
  RegridGroup(block, 464, old, 400, 2);
  RegridGroup(block, 3128, old, 3064, 1);
  RegridGroup(block, 4512, old, 4448, 1);
  RegridGroup(block, 5896, old, 5832, 1);
  cv.Copy(7280, 7216, 8600, 1384);
  if (cv.V12()) {
    cv.Copy(8664, 8600, kNone, 560);
    cv.Copy(9224, 9160, kNone, 560);
  } else {
    HalveGroup(block, 8664, old, 10112);
    HalveGroup(block, 9224, old, 10304);
  }
  cv.Copy(10392, 9720, 9984, 128);
  cv.Copy(10520, 9848, 10496, 192);
  cv.Copy(10712, 10040, 10688, 192);
  if (cv.V12()) {
    cv.Copy(10904, 10232, kNone, 576);
  } else {
    // The old family kept fewer of these rows: some of its runs serve twice.
    const int runs[9] = {10880, 10944, 10944, 11008, 11072, 11136, 11200, 11200, 11264};
    for (int i = 0; i < 9; ++i) cv.Copy(10904 + 64 * i, kNone, runs[i], 64);
  }
  cv.Copy(11480, 10808, 11328, 96);
  if (cv.V12()) {
    cv.Copy(11576, 10904, kNone, 24);
  } else {
    cv.Copy(11576, kNone, 11424, 8);
    cv.Copy(11584, kNone, 11434, 16);
  }
  cv.Copy(11600, 10928, 11450, 96);
  cv.Copy(11696, 11024, 11546, 10);
  cv.Copy(11706, 11034, 11556, 96);
  cv.Copy(11802, 11130, 11652, 6);
  cv.Copy(11808, 11136, 11658, 8);
  cv.Copy(11816, 11144, kNone, 18);
  cv.Copy(11834, 11162, kNone, 1);
  cv.Copy(11836, 11164, 11666, 18);
  cv.Copy(11854, 11184, 11684, 12);
  cv.Copy(11866, 11198, 11696, 8);
  com::Put32LE(block + kMapBikeOffset, cv.V12() ? V12BikeWord(old[11206]) : kTalarisBikeWord);
  const uint8_t single = old[cv.V12() ? 11207 : 11704] & 1;
  block[maps::kSingleMatrixOffset] = static_cast<uint8_t>((block[maps::kSingleMatrixOffset] & ~1u) | single);
  cv.Copy(12340, 11218, 11716, 2);
}

const char* Extension(int type) {
  return type == kParType ? "ecd" : "emd";
}
std::string& LastPath(int type) {
  return type == kParType ? cfg.parFilePath : cfg.mapFilePath;
}
std::string FileNamePart(const std::string& path) {
  const size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace

uint8_t* ImportBuffer(int type, int version) {
  if (version == kImportV12)
    return type == kParType ? q740v1_2ParData : type == kMapType ? q740v1_2MapData : nullptr;
  if (version == kImportTalaris)
    return type == kParType ? talarisParData : type == kMapType ? talarisMapData : nullptr;
  return nullptr;
}

uint32_t ImportSize(int type, int version) {
  if (version == kImportV12) return type == kParType ? kV12ParSize : type == kMapType ? kV12MapSize : 0;
  if (version == kImportTalaris)
    return type == kParType ? kTalarisParSize : type == kMapType ? kTalarisMapSize : 0;
  return 0;
}

uint32_t V12BikeWord(uint8_t selector) {
  static constexpr uint32_t kWords[] = {0x060408, 0x060509, 0x060109, 0x060006, 0x010807, 0x010707,
                                        0x010A08, 0x010A05, 0x010007, 0x000008, 0x020207};
  return selector < std::size(kWords) ? kWords[selector] : 0xFF0000;
}

void ConvertImportData(int type, int version) {
  const uint8_t* old = ImportBuffer(type, version);
  if (!old) return;
  const Converter cv(WorkingBlock(type), old, version);
  if (type == kParType)
    ConvertConfiguration(cv);
  else
    ConvertMapping(cv);
}

uint8_t ImportEcu(int type, int version, int cursor) {
  uint8_t* buffer = ImportBuffer(type, version);
  if (!buffer) {
    com::Ui().SetMouseCursor(cursor);
    return 0;
  }
  const std::string ext = Extension(type);
  const std::string last = LastPath(type);
  com::FileDialog dialog;
  dialog.save = false;
  dialog.title = ImportTitle(type);
  dialog.directory = com::DirectoryOf(last);
  dialog.proposal = last.empty() ? "*." + ext : FileNamePart(com::SetFileExtension(last, ext));
  if (dialog.proposal.empty()) dialog.proposal = "*." + ext;
  dialog.extension = ext;
  dialog.allowNewDirectory = false;
  std::string path;
  const com::FileSelect result = com::Ui().FileSelectPopup(dialog, path);
  if (result == com::FileSelect::Cancelled) {
    com::Ui().SetMouseCursor(cursor);
    return 1;
  }
  if (result != com::FileSelect::Existing || path.empty()) {
    com::Ui().SetMouseCursor(cursor);
    return 0;
  }

  const ImportResult imported = ImportEcuFile(type, version, path, cursor);
  return imported == ImportResult::Imported || imported == ImportResult::Refused ? 1 : 0;
}

std::string ImportTitle(int type) {
  return std::string("Import ECU ") + (type == kParType ? "configuration data" : "mapping data");
}

ImportResult ImportEcuFile(int type, int version, const std::string& givenPath, int cursor) {
  uint8_t* buffer = ImportBuffer(type, version);
  if (!buffer || givenPath.empty()) {
    com::Ui().SetMouseCursor(cursor);
    return ImportResult::Missing;
  }
  const std::string path = com::SetFileExtension(givenPath, Extension(type));
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    com::Ui().SetMouseCursor(cursor);
    return ImportResult::Missing;
  }
  const uint32_t size = ImportSize(type, version);
  if (static_cast<uint64_t>(st.st_size) != size) {
    com::Ui().SetMouseCursor(cursor);
    com::Ui().MessagePopup(ImportTitle(type), "The selected file is not correct!");
    return ImportResult::Refused;
  }
  if (!ReadFilePrefix(path, buffer, size)) {
    LastPath(type).clear();
    com::Ui().SetMouseCursor(cursor);
    return ImportResult::ReadError;
  }

  com::Ui().SetMouseCursor(cursor);
  KeepRestorePoint(type);
  ConvertImportData(type, version);
  GenerateAppVersion(type);
  GenerateDataVersion(type);
  CopyEcuRefData(type);
  std::string name;
  com::SplitFileName(path, name);
  com::Ui().ShowConfigName(name, type);
  WarnTypeBike();
  return ImportResult::Imported;
}

}  // namespace ecu
