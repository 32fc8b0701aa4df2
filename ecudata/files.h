// Configuration (.ecd) and mapping (.emd) data files.
#pragma once
#include <cstdint>
#include <string>

namespace ecu {

// Empty path: the user chooses the file. Returns 1 also when the dialog is cancelled.
uint8_t StoreEcu(const std::string& path, int type, int cursor);
// interactive 0: the last path, silently (start-up); 1: the user chooses.
// Returns 1 also on a cancelled dialog and on a refused data format.
uint8_t LoadEcu(int interactive, int type, int cursor);

// Writes `size` bytes to `path` through a temporary file beside it that is renamed
// over the target, so a failed write leaves the previous file as it was.
bool WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size);

}  // namespace ecu
