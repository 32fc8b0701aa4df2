#include "link/appdirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/utils.h"

#ifndef KESTRA_VERSION
#define KESTRA_VERSION "0.0"
#endif

namespace com {

namespace {

// The data folder of an installed tree, relative to its prefix.
constexpr const char* kShareFolder = "share/kestra";

std::string& ExecutableOverride() {
  static std::string directory;
  return directory;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The prefix of the tree the executable lives in (the folder above it); "/" for a
// top-level folder.
std::string ParentOf(const std::string& directory) {
  const std::string parent = DirectoryOf(directory);
  return parent.empty() ? std::string("/") : parent;
}

std::string Join(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

// mkdir -p; new folders are private to the user, as configuration folders should be.
bool MakeDirectories(const std::string& directory) {
  if (directory.empty()) return false;
  if (IsDirectory(directory)) return true;
  const std::string parent = DirectoryOf(directory);
  if (!parent.empty() && parent != directory) MakeDirectories(parent);
  return (::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST) && IsDirectory(directory);
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') return pw->pw_dir;
  return std::string();
}

}  // namespace

std::string ExecutableDirectory() {
  if (!ExecutableOverride().empty()) return ExecutableOverride();
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  buf[n] = '\0';
  const std::string directory = DirectoryOf(buf);
  return directory.empty() ? std::string("/") : directory;
}

void SetExecutableDirectory(const std::string& directory) {
  std::string d = directory;
  while (d.size() > 1 && d.back() == '/') d.pop_back();
  ExecutableOverride() = d;
}

std::vector<std::string> ShippedFileCandidates(const std::string& name) {
  const std::string exeDir = ExecutableDirectory();
  if (exeDir.empty()) return {name};
  return {Join(exeDir, name), Join(Join(ParentOf(exeDir), kShareFolder), name)};
}

std::string ShippedFilePath(const std::string& name) {
  const std::vector<std::string> candidates = ShippedFileCandidates(name);
  for (const std::string& path : candidates)
    if (Exists(path)) return path;
  return candidates.front();
}

bool IsInstalledTree() {
  const std::string exeDir = ExecutableDirectory();
  if (exeDir.empty() || BaseName(exeDir) != "bin") return false;
  return IsDirectory(Join(ParentOf(exeDir), "share"));
}

std::string UserConfigDirectory(const std::string& program) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return Join(xdg, program);
  const std::string home = HomeDirectory();
  if (home.empty()) return std::string();
  return Join(Join(home, ".config"), program);
}

std::string UserDataDirectory(const std::string& program) {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return Join(xdg, program);
  const std::string home = HomeDirectory();
  if (home.empty()) return std::string();
  return Join(Join(Join(home, ".local"), "share"), program);
}

bool MakeDirectoryPath(const std::string& path) {
  return MakeDirectories(path);
}

std::string SettingsDirectory(const std::string& program, const std::string& fileName) {
  const std::string exeDir = ExecutableDirectory();
  if (!exeDir.empty() && !IsInstalledTree() && ::access(exeDir.c_str(), W_OK) == 0) {
    const std::string beside = Join(exeDir, fileName);
    if (!Exists(beside) || ::access(beside.c_str(), W_OK) == 0) return exeDir;
  }
  const std::string userDir = UserConfigDirectory(program);
  if (!userDir.empty() && MakeDirectories(userDir)) return userDir;
  return ".";
}

const char* PackageVersion() {
  return KESTRA_VERSION;
}

bool AnswerVersion(int argc, char** argv, const std::string& program, const std::string& ownRelease) {
  bool asked = false;
  for (int i = 1; i < argc && !asked; ++i) asked = std::strcmp(argv[i], "--version") == 0;
  if (asked) PrintVersion(program, ownRelease);
  return asked;
}

void PrintVersion(const std::string& program, const std::string& ownRelease) {
  if (ownRelease.empty() || ownRelease == PackageVersion())
    std::printf("%s %s\n", program.c_str(), PackageVersion());
  else
    std::printf("%s %s (kestra %s)\n", program.c_str(), ownRelease.c_str(), PackageVersion());
  std::fflush(stdout);
}

}  // namespace com
