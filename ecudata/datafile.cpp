#include "ecudata/datafile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "link/utils.h"

namespace ecu {

bool ReadDataFile(const std::string& path, DataFile* file, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file";
    return false;
  }
  int type;
  if (st.st_size == kParSize) {
    type = kParType;
  } else if (st.st_size == kMapSize) {
    type = kMapType;
  } else {
    *error = path + ": " + std::to_string(st.st_size) +
             " bytes is neither a configuration file (1276 bytes) nor a mapping file (12344 bytes)";
    return false;
  }
  std::vector<uint8_t> bytes(BlockSize(type));
  if (!ReadFilePrefix(path, bytes.data(), bytes.size())) {
    *error = path + ": the file cannot be read";
    return false;
  }
  if (com::FieldText(bytes.data() + kDataStampOffset, kStampSize) != DataVersionText(type)) {
    *error = path + ": Incompatible data format! (expected \"" + DataVersionText(type) + "\")";
    return false;
  }
  file->type = type;
  file->bytes = std::move(bytes);
  return true;
}

}  // namespace ecu
