#include "ecudata/restore.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "link/appdirs.h"
#include "link/userio.h"
#include "link/utils.h"

namespace ecu {
namespace {

const char* KindWord(int type) {
  return type == kParType ? "configuration" : "mapping";
}
const char* Extension(int type) {
  return type == kParType ? "ecd" : "emd";
}

// The data-set name as a safe file-name part: no separators, no control characters,
// no leading dot, and never empty.
std::string NamePart(const std::string& name) {
  std::string part;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    part += (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) ? '_' : c;
  }
  while (!part.empty() && part[0] == '.') part[0] = '_';
  // A long name is cut, never inside a UTF-8 character.
  if (part.size() > 120) {
    part.resize(120);
    while (!part.empty() && (static_cast<unsigned char>(part.back()) & 0xC0) == 0x80) part.pop_back();
    if (!part.empty() && (static_cast<unsigned char>(part.back()) & 0xC0) == 0xC0) part.pop_back();
  }
  return part.empty() ? "unnamed" : part;
}

// "YYYY-MM-DD_HHMMSS_" followed by the kind word and '_' and ending in ".ext".
bool IsRestorePointOf(const std::string& file, int type) {
  static const char kShape[] = "dddd-dd-dd_dddddd_";
  const size_t stamp = sizeof kShape - 1;
  if (file.size() < stamp) return false;
  for (size_t i = 0; i < stamp; ++i) {
    const char c = file[i];
    if (kShape[i] == 'd' ? (c < '0' || c > '9') : c != kShape[i]) return false;
  }
  const std::string kind = std::string(KindWord(type)) + "_";
  const std::string ext = std::string(".") + Extension(type);
  return file.compare(stamp, kind.size(), kind) == 0 && file.size() > stamp + kind.size() + ext.size() &&
         file.compare(file.size() - ext.size(), ext.size(), ext) == 0;
}

void RemoveOldest(const std::string& dir, int type) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> files;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (IsRestorePointOf(name, type)) files.push_back(name);
  }
  closedir(d);
  if (files.size() <= kRestorePointsKept) return;
  // The time stamp leads the name, so the name order is the age order.
  std::sort(files.begin(), files.end());
  for (size_t i = 0; i + kRestorePointsKept < files.size(); ++i) unlink((dir + "/" + files[i]).c_str());
}

RestoreResult Keep(int type, std::time_t now, std::string* path, bool always);

}  // namespace

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    const std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int RestorePointType(const std::string& fileName) {
  if (IsRestorePointOf(fileName, kParType)) return kParType;
  if (IsRestorePointOf(fileName, kMapType)) return kMapType;
  return 0;
}

std::string RestoreDirectory() {
  const std::string data = com::UserDataDirectory("kestra");
  return data.empty() ? std::string() : data + "/restore";
}

RestoreResult KeepRestorePoint(int type, std::time_t now, std::string* path) {
  return Keep(type, now, path, false);
}

RestoreResult KeepRestorePointAlways(int type, std::time_t now, std::string* path) {
  return Keep(type, now, path, true);
}

namespace {
RestoreResult Keep(int type, std::time_t now, std::string* path, bool always) {
  if (type != kParType && type != kMapType) return RestoreResult::NotNeeded;
  if (!always && !IsEcuDataChanged(type)) return RestoreResult::NotNeeded;

  // The bytes a store writes: the working block with fresh stamps.
  std::vector<uint8_t> bytes(WorkingBlock(type), WorkingBlock(type) + BlockSize(type));
  com::SetFieldText(bytes.data() + kAppStampOffset, kStampSize, AppVersionText());
  com::SetFieldText(bytes.data() + kDataStampOffset, kStampSize, DataVersionText(type));

  const std::string dir = RestoreDirectory();
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H%M%S", &local);
  const std::string base =
      dir + "/" + stamp + "_" + KindWord(type) + "_" + NamePart(com::Ui().GetConfigName(type));
  std::string file = base + "." + Extension(type);
  // Two restore points within one second must not overwrite each other.
  struct stat st {};
  for (int n = 2; stat(file.c_str(), &st) == 0 && n < 100; ++n) {
    file = base + "-" + std::to_string(n) + "." + Extension(type);
  }

  if (!MakeDirectories(dir) || !WriteFileAtomic(file, bytes.data(), bytes.size())) {
    com::Ui().ShowStatus(std::string("No restore point written: the ") + KindWord(type) +
                         " with changes not stored could not be kept in " +
                         (dir.empty() ? std::string("the restore folder (no home folder)") : dir) + ".");
    return RestoreResult::Failed;
  }
  RemoveOldest(dir, type);
  if (path) *path = file;
  com::Ui().ShowStatus(std::string("Restore point of the ") + KindWord(type) + " kept: " + file);
  return RestoreResult::Written;
}
}  // namespace

RestoreResult KeepRestorePoint(int type) {
  return KeepRestorePoint(type, std::time(nullptr));
}

}  // namespace ecu
