#include "params/param3.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "ecudata/files.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "link/appdirs.h"
#include "link/userio.h"
#include "link/utils.h"
#include "ecudata/fieldkeep.h"
#include "ecudata/fieldmake.h"
#include "shell/connection.h"

namespace params {

// The field-table builders.
using ecu::Byte;
using ecu::Cells;
using ecu::Field;
using ecu::FieldKind;
using ecu::FieldType;
using ecu::Hidden;
using ecu::Num;

namespace {

using FT = FieldType;
constexpr uint16_t kRec = kDtcLevelSize;

Field Level(uint32_t recordOffset, FT type, int32_t divisor, double max, int decimals, int64_t defaultRaw,
            uint16_t cols, int16_t col) {
  return Cells("TABlevelDtc", kDtcLevels + recordOffset, type, divisor, 0, max, decimals, defaultRaw,
               kDtcLevelCount, cols, 0, col, kRec, static_cast<uint16_t>(ecu::TypeSize(type)));
}

// Each map: cells in rows 2-9 x columns 2-17 of its table, column points (engine
// speed) in row 1, row points (wheel slip) in column 1. The level records: one row each.
const auto kPr3Fields = std::to_array<Field>({
    Cells("TABmapKjDtc", kDtcKjBlock, FT::S16, 1000, 0, 1.0, 3, 1000, kDtcRows, kDtcCols, 1, 1),
    Cells("TABmapKjDtc", kDtcKjBlock + 256, FT::S16, 1, 0, 20000, 0, 0, 1, kDtcCols, 0, 1),
    Cells("TABmapKjDtc", kDtcKjBlock + 288, FT::S16, 10, 0, 100.0, 1, 0, kDtcRows, 1, 1, 0),
    Cells("TABmapKaDtc", kDtcKaBlock, FT::S16, 10, -60.0, 0, 1, 0, kDtcRows, kDtcCols, 1, 1),
    Cells("TABmapKaDtc", kDtcKaBlock + 256, FT::S16, 1, 0, 20000, 0, 0, 1, kDtcCols, 0, 1),
    Cells("TABmapKaDtc", kDtcKaBlock + 288, FT::S16, 10, 0, 100.0, 1, 0, kDtcRows, 1, 1, 0),
    Level(12, FT::U8, 1, 255, 0, 0, 1, 0),
    Level(0, FT::U16, 10, 100.0, 1, 1000, 1, 1),
    Level(4, FT::U8, 1, 20, 0, 0, 4, 2),
    Level(2, FT::U16, 10, 100.0, 1, 1000, 1, 6),
    Level(8, FT::U8, 1, 20, 0, 0, 4, 7),
});

std::string systemDirOverride;

uint8_t RepairMap(const uint8_t* before, uint32_t block) {
  uint8_t* b = ecu::ecuMapData;
  const Field* cells = nullptr;
  const Field* cols = nullptr;
  const Field* rows = nullptr;
  for (const Field& f : kPr3Fields) {
    if (f.offset == block) cells = &f;
    if (f.offset == block + 256) cols = &f;
    if (f.offset == block + 288) rows = &f;
  }
  uint8_t changed = 0;
  // Only an axis that was edited is repaired; one that came so stays as it came.
  for (int i = 1; i < kDtcCols && ecu::FieldEdited(before, b, *cols); ++i) {
    if (ecu::GetRaw(b, *cols, 0, i) >= ecu::GetRaw(b, *cols, 0, i - 1)) continue;
    ecu::SetRaw(b, *cols, ecu::GetRaw(b, *cols, 0, i - 1), 0, i);
    for (int r = 0; r < kDtcRows; ++r) ecu::SetRaw(b, *cells, ecu::GetRaw(b, *cells, r, i - 1), r, i);
    changed = 1;
  }
  for (int i = 1; i < kDtcRows && ecu::FieldEdited(before, b, *rows); ++i) {
    if (ecu::GetRaw(b, *rows, i, 0) >= ecu::GetRaw(b, *rows, i - 1, 0)) continue;
    ecu::SetRaw(b, *rows, ecu::GetRaw(b, *rows, i - 1, 0), i, 0);
    for (int c = 0; c < kDtcCols; ++c) ecu::SetRaw(b, *cells, ecu::GetRaw(b, *cells, i - 1, c), i, c);
    changed = 1;
  }
  return changed;
}

void Fail(const char* title, const std::string& reason) {
  std::string text = shell::szGenericError;
  if (!reason.empty()) text += "\n\n" + reason;
  com::Ui().MessagePopup(title, text);
}

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

}  // namespace

std::span<const ecu::Field> Pr3Fields() {
  return kPr3Fields;
}

void InitPr3Data() {
  ecu::WriteDefaults(ecu::ecuMapData, kPr3Fields);
}

uint8_t CheckPr3Values(const uint8_t* before) {
  uint8_t changed = RepairMap(before, kDtcKjBlock);
  changed |= RepairMap(before, kDtcKaBlock);
  return changed;
}

void DtcToFile(const uint8_t* mapBlock, uint8_t* file) {
  std::memcpy(file, mapBlock + kDtcKjBlock, kDtcMapBlockSize);
  std::memcpy(file + kDtcMapBlockSize, mapBlock + kDtcKaBlock, kDtcMapBlockSize);
  std::memcpy(file + 2 * kDtcMapBlockSize, mapBlock + kDtcLevels, kDtcLevelCount * kDtcLevelSize);
}

void DtcFromFile(const uint8_t* file, uint8_t* mapBlock) {
  std::memcpy(mapBlock + kDtcKjBlock, file, kDtcMapBlockSize);
  std::memcpy(mapBlock + kDtcKaBlock, file + kDtcMapBlockSize, kDtcMapBlockSize);
  std::memcpy(mapBlock + kDtcLevels, file + 2 * kDtcMapBlockSize, kDtcLevelCount * kDtcLevelSize);
}

std::string DtcSystemDirectory() {
  if (!systemDirOverride.empty()) return systemDirOverride;
  // Beside the program (the build tree), else in the installed tree's share folder.
  return com::ShippedFilePath("system");
}

void SetDtcSystemDirectory(const std::string& dir) {
  systemDirOverride = dir;
}

const char* DtcPresetName(int type) {
  switch (type) {
    case 1:
      return "sbk1098R";
    case 2:
      return "sbk1198";
    case 3:
      return "sf1098S";
    default:
      return "undefined";
  }
}

std::string DtcPresetPath(int type) {
  return com::SetFileExtension(DtcSystemDirectory() + "/" + DtcPresetName(type), kDtcExtension);
}

bool IsShippedPreset(const std::string& path) {
  struct stat target {};
  if (stat(path.c_str(), &target) != 0) return false;
  for (int type = 1; type <= 3; ++type) {
    struct stat preset {};
    if (stat(DtcPresetPath(type).c_str(), &preset) == 0 && preset.st_dev == target.st_dev &&
        preset.st_ino == target.st_ino)
      return true;
  }
  return false;
}

bool ReadDtcFile(const std::string& path, uint8_t* file, std::string* reason) {
  if (ecu::ReadFilePrefix(path, file, kDtcFileSize)) return true;
  if (!reason) return false;
  struct stat st {};
  if (path.empty()) {
    *reason = "No file was chosen.";
  } else if (stat(path.c_str(), &st) != 0) {
    *reason = "The file " + Quoted(path) + " cannot be found (" + std::strerror(errno) + ").";
  } else if (S_ISDIR(st.st_mode)) {
    *reason = Quoted(path) + " is a folder, not a DTC map file.";
  } else if (!S_ISREG(st.st_mode)) {
    *reason = Quoted(path) + " is not a regular file.";
  } else if (st.st_size < static_cast<off_t>(kDtcFileSize)) {
    *reason = "The file " + Quoted(path) + " holds " + std::to_string(st.st_size) +
              " bytes; a DTC map file holds 1056.";
  } else {
    *reason = "The file " + Quoted(path) + " cannot be read.";
  }
  return false;
}

uint8_t LoadDTCmap(int ask, int type, const std::function<uint8_t()>& scatter) {
  constexpr const char* kTitle = "Load DTC Map";
  std::string path;
  if (ask) {
    com::FileDialog dialog;
    dialog.save = false;
    dialog.title = kTitle;
    char cwd[4096];
    dialog.directory = getcwd(cwd, sizeof cwd) ? cwd : "";
    dialog.proposal = std::string("*.") + kDtcExtension;
    dialog.extension = kDtcExtension;
    const com::FileSelect result = com::Ui().FileSelectPopup(dialog, path);
    if (result == com::FileSelect::Cancelled) return 1;
    if (result != com::FileSelect::Existing || path.empty()) {
      Fail(kTitle, path.empty() ? "No file was chosen." : Quoted(path) + " is not an existing file.");
      return 0;
    }
  } else {
    path = DtcPresetPath(type);
  }
  uint8_t file[kDtcFileSize];
  std::string reason;
  if (!ReadDtcFile(path, file, &reason)) {
    Fail(kTitle, reason);
    return 0;
  }
  DtcFromFile(file, ecu::ecuMapData);
  return scatter ? scatter() : 1;
}

uint8_t StoreDTCmap(const std::function<uint8_t()>& gather) {
  constexpr const char* kTitle = "Store DTC Map";
  if (gather && !gather()) {
    Fail(kTitle, "The page could not be read.");
    return 0;
  }
  uint8_t file[kDtcFileSize];
  DtcToFile(ecu::ecuMapData, file);

  com::FileDialog dialog;
  dialog.save = true;
  dialog.title = kTitle;
  // The presets' folder when it can be written (a build tree), else the user's own.
  dialog.directory = DtcSystemDirectory();
  if (::access(dialog.directory.c_str(), W_OK) != 0) {
    const std::string own = com::UserDataDirectory("kestra");
    if (!own.empty() && com::MakeDirectoryPath(own + "/dtc")) dialog.directory = own + "/dtc";
  }
  dialog.proposal = std::string("*.") + kDtcExtension;
  dialog.extension = kDtcExtension;
  dialog.allowNewDirectory = true;
  std::string path;
  switch (com::Ui().FileSelectPopup(dialog, path)) {
    case com::FileSelect::Cancelled:
      return 1;
    case com::FileSelect::Existing:
    case com::FileSelect::New:
      break;
    default:
      Fail(kTitle, path.empty() ? std::string() : Quoted(path) + " cannot be written as a file.");
      return 0;
  }
  path = com::SetFileExtension(path, kDtcExtension);
  if (path.empty()) {
    Fail(kTitle, "No file was chosen.");
    return 0;
  }
  // A preset shipped with the program is never overwritten in place.
  if (IsShippedPreset(path)) {
    Fail(kTitle, Quoted(path) + " is a preset shipped with the program; store the map under another name.");
    return 0;
  }
  // Only a regular file is replaced: a folder, a FIFO or a device under the name is refused.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    Fail(kTitle, Quoted(path) + (S_ISDIR(st.st_mode) ? " is a folder." : " is not a regular file."));
    return 0;
  }
  if (!ecu::WriteFileAtomic(path, file, kDtcFileSize)) {
    Fail(kTitle,
         "The file " + Quoted(path) + " could not be written (a previous file of that name is unchanged).");
    return 0;
  }
  return 1;
}

}  // namespace params
