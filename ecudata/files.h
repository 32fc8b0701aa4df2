// Configuration (.ecd) and mapping (.emd) data files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "ecudata/image.h"

namespace ecu {

// Staging copies: a file is read here first and reaches the working block only
// once it has been accepted.
extern uint8_t fileParData[kParSize];
extern uint8_t fileMapData[kMapSize];

// Empty path: the user chooses the file. Returns 1 also when the dialog is cancelled.
// Any extension of the path is replaced by "ecd" (type 1) or "emd" (type 2).
uint8_t StoreEcu(const std::string& path, int type, int cursor);
// interactive 0: the last path, silently (start-up); 1: the user chooses.
// Returns 1 also on a cancelled dialog and on a refused data format. A missing or
// short file returns 0 and forgets the remembered path of that block; a silent load
// then also empties the name field.
uint8_t LoadEcu(int interactive, int type, int cursor);

// Writes `size` bytes to `path` through a temporary file beside it that is renamed
// over the target, so a failed write leaves the previous file as it was.
// The new file keeps the mode of the one it replaces; a symbolic link is followed.
bool WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size);
// Reads the first `size` bytes of a regular file into `data`. False (and `data`
// untouched) when the file is missing, not a regular file or shorter than `size`.
bool ReadFilePrefix(const std::string& path, uint8_t* data, size_t size);

}  // namespace ecu
