#include "loader/init.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/appdirs.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/utils.h"

namespace loader {

Cfg cfg;

namespace {
std::string settingsDirectory;

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = com::DirectoryOf(dir);
  if (!parent.empty() && parent != dir) MakeDirectories(parent);
  return ::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}
}  // namespace

std::array<uint8_t, kCfgSize> CfgToBytes() {
  std::array<uint8_t, kCfgSize> bytes{};
  com::Put16LE(bytes.data(), static_cast<uint16_t>(com::comPort));
  com::SetFieldText(bytes.data() + 2, kLastFwDirSize, cfg.lastFwDir);
  return bytes;
}

void CfgFromBytes(const uint8_t* bytes) {
  com::comPort = static_cast<int16_t>(com::Get16LE(bytes));
  cfg.lastFwDir = com::FieldText(bytes + 2, kLastFwDirSize);
}

void SetSettingsDirectory(const std::string& directory) {
  settingsDirectory = directory;
}

std::string SettingsPath() {
  if (!settingsDirectory.empty()) return settingsDirectory + "/" + kSettingsFileName;
  return com::SettingsDirectory("kalvex", kSettingsFileName) + "/" + kSettingsFileName;
}

void ReadInitFile() {
  uint8_t bytes[kCfgSize];
  bool ok = false;
  if (FILE* f = std::fopen(SettingsPath().c_str(), "rb")) {
    ok = std::fread(bytes, 1, kCfgSize, f) == kCfgSize;
    std::fclose(f);
  }
  if (ok) {
    CfgFromBytes(bytes);
  } else {
    com::comPort = 0;
    cfg.lastFwDir.clear();
  }
}

bool WriteInitFile() {
  const std::string path = SettingsPath();
  const std::string dir = com::DirectoryOf(path);
  MakeDirectories(dir);
  std::string tmpl = path + ".XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return false;
  const auto bytes = CfgToBytes();
  bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ::chmod(tmpl.c_str(), 0644);
  if (!ok || std::rename(tmpl.c_str(), path.c_str()) != 0) {
    std::remove(tmpl.c_str());
    return false;
  }
  return true;
}

}  // namespace loader
