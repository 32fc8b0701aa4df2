#include "ecudata/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/history.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "ecudata/restore.h"
#include "link/userio.h"
#include "link/utils.h"

namespace ecu {

uint8_t fileParData[kParSize];
uint8_t fileMapData[kMapSize];

namespace {

const char* Extension(int type) {
  return type == kParType ? "ecd" : "emd";
}
const char* TitleTail(int type) {
  return type == kParType ? "configuration data" : "mapping data";
}
std::string& LastPath(int type) {
  return type == kParType ? cfg.parFilePath : cfg.mapFilePath;
}
uint8_t* StagingBlock(int type) {
  return type == kParType ? fileParData : fileMapData;
}

std::string FileNamePart(const std::string& path) {
  const size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

// The file's name without directory and extension, as the main panel shows it.
std::string ShownName(const std::string& path) {
  std::string name;
  com::SplitFileName(path, name);
  return name;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size) {
  if (path.empty() || (size > 0 && !data)) return false;
  std::string target = path;
  // Writing through a symbolic link replaces the file it points to, not the link.
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) target = resolved;
  }
  const size_t sep = target.find_last_of('/');
  const std::string dir = sep == std::string::npos ? "." : sep == 0 ? "/" : target.substr(0, sep);
  std::string name = sep == std::string::npos ? target : target.substr(sep + 1);
  if (name.empty()) return false;
  std::string tmpl = dir + "/." + name + ".XXXXXX";
  std::vector<char> tmp(tmpl.begin(), tmpl.end());
  tmp.push_back('\0');
  const int fd = mkstemp(tmp.data());
  if (fd < 0) return false;

  // Keep the mode of the file being replaced; a new file gets the usual 0666 less umask.
  mode_t mode;
  if (stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd, mode) != 0) {
    // a mode that cannot be set is not a write failure
  }
  bool ok = WriteAll(fd, data, size) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok && rename(tmp.data(), target.c_str()) != 0) ok = false;
  if (!ok) {
    unlink(tmp.data());
    return false;
  }
  // Make the rename itself durable.
  const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
}

bool ReadFilePrefix(const std::string& path, uint8_t* data, size_t size) {
  if (path.empty()) return false;
  // Non-blocking open: a FIFO or a device under a data file's name must not hang the
  // program (it is refused below as not a regular file).
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  // Read into a scratch copy first: a short file must not leave part of its bytes in `data`.
  std::vector<uint8_t> scratch(size);
  size_t got = 0;
  while (got < size) {
    ssize_t n = read(fd, scratch.data() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  if (got != size) return false;
  if (size > 0) std::memcpy(data, scratch.data(), size);
  return true;
}

uint8_t StoreEcu(const std::string& givenPath, int type, int cursor) {
  if (type != kParType && type != kMapType) return 0;
  const std::string ext = Extension(type);

  GenerateAppVersion(type);
  GenerateDataVersion(type);
  AlignTypeBike(type);
  com::Ui().SetMouseCursor(cursor);

  std::string path = givenPath;
  if (path.empty()) {
    com::FileDialog dialog;
    dialog.save = true;
    dialog.title = std::string("Store ECU ") + TitleTail(type);
    dialog.directory = com::DirectoryOf(LastPath(type));
    const std::string shown = com::Ui().GetConfigName(type);
    dialog.proposal = shown.empty() ? "*." + ext : com::SetFileExtension(shown, ext);
    dialog.extension = ext;
    dialog.allowNewDirectory = true;
    switch (com::Ui().FileSelectPopup(dialog, path)) {
      case com::FileSelect::Cancelled:
        return 1;
      case com::FileSelect::Existing:
      case com::FileSelect::New:
        break;
      default:
        return 0;
    }
    if (path.empty()) return 0;
  }
  path = com::SetFileExtension(path, ext);

  if (!WriteFileAtomic(path, WorkingBlock(type), BlockSize(type))) return 0;
  LastPath(type) = path;
  WriteInitFile();
  CopyEcuRefData(type);
  com::Ui().ShowConfigName(ShownName(path), type);
  NoteInHistory(HistoryKind::Stored, type, path);
  return 1;
}

uint8_t LoadEcu(int interactive, int type, int cursor) {
  if (type != kParType && type != kMapType) {
    com::Ui().SetMouseCursor(cursor);
    return 0;
  }
  const std::string ext = Extension(type);

  std::string path;
  if (interactive) {
    const std::string last = LastPath(type);
    com::FileDialog dialog;
    dialog.save = false;
    dialog.title = std::string("Load ECU ") + TitleTail(type);
    dialog.directory = com::DirectoryOf(last);
    dialog.proposal = last.empty() ? "*." + ext : FileNamePart(com::SetFileExtension(last, ext));
    if (dialog.proposal.empty()) dialog.proposal = "*." + ext;
    dialog.extension = ext;
    dialog.allowNewDirectory = false;
    const com::FileSelect result = com::Ui().FileSelectPopup(dialog, path);
    if (result == com::FileSelect::Cancelled) {
      com::Ui().SetMouseCursor(cursor);
      return 1;
    }
    if (result != com::FileSelect::Existing) {
      com::Ui().SetMouseCursor(cursor);
      return 0;
    }
  } else {
    path = LastPath(type);
  }
  if (path.empty()) {
    if (!interactive) com::Ui().ShowConfigName("", type);
    com::Ui().SetMouseCursor(cursor);
    return 0;
  }

  path = com::SetFileExtension(path, ext);
  uint8_t* staging = StagingBlock(type);
  if (!ReadFilePrefix(path, staging, BlockSize(type))) {
    LastPath(type).clear();
    if (!interactive) com::Ui().ShowConfigName("", type);
    com::Ui().SetMouseCursor(cursor);
    return 0;
  }
  com::Ui().SetMouseCursor(cursor);
  if (!CheckDataVersion(type, staging)) return 1;  // refused; the working block stays
  CheckAppVersion(type, staging);

  // The start-up load replaces only the defaults; a load by the user keeps changes
  // that were never stored.
  if (interactive) KeepRestorePoint(type);
  std::memcpy(WorkingBlock(type), staging, BlockSize(type));
  LastPath(type) = path;
  WriteInitFile();
  CopyEcuRefData(type);
  com::Ui().ShowConfigName(ShownName(path), type);
  if (interactive) NoteInHistory(HistoryKind::Loaded, type, path);
  if (interactive) WarnTypeBike();
  return 1;
}

}  // namespace ecu
