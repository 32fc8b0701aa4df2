// A configuration or mapping file read whole for the command-line jobs, judged as a
// load judges it: the kind by its exact size, and the data-version stamp.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ecu {

struct DataFile {
  int type = 0;                // kParType or kMapType
  std::vector<uint8_t> bytes;  // the whole block
};

// Reads `path`. False, with the reason in `*error` (starting with the path), when the
// file is missing, not a regular file, neither 1276 nor 12344 bytes long, unreadable,
// or carries another data-version stamp ("Incompatible data format!").
bool ReadDataFile(const std::string& path, DataFile* file, std::string* error);

}  // namespace ecu
