// Restore points: before Load, Import, Receive or the start of a tuning session
// replaces a working block that holds changes not yet stored, the block is kept as an
// ordinary data file in the restore folder. Nothing is asked and a failure never
// stops the command; the status line says what happened.
#pragma once
#include <cstddef>
#include <ctime>
#include <string>

namespace ecu {

// $XDG_DATA_HOME/kestra/restore, or ~/.local/share/kestra/restore; "" without a home.
std::string RestoreDirectory();

// How many restore points of each kind (configuration, mapping) are kept.
inline constexpr size_t kRestorePointsKept = 50;

enum class RestoreResult { NotNeeded, Written, Failed };

// Keeps the working block of `type` (1 configuration, 2 mapping) when it differs from
// its reference copy: the bytes a store would write (fresh stamps), named
// "YYYY-MM-DD_HHMMSS_<configuration|mapping>_<data-set name>.<ecd|emd>", then removes
// the oldest restore points of that kind beyond kRestorePointsKept. `now` is the time
// in the name (local time). Writes the outcome to the status line; `*path` receives
// the file written.
RestoreResult KeepRestorePoint(int type, std::time_t now, std::string* path = nullptr);
RestoreResult KeepRestorePoint(int type);
// The same, also when the block holds no changes (before a restore from the history,
// which must never lose the block it replaces).
RestoreResult KeepRestorePointAlways(int type, std::time_t now, std::string* path = nullptr);

// The block type of a restore point's file name (1 or 2), or 0 for another name.
int RestorePointType(const std::string& fileName);
// Creates `dir` and its parents; true when it is a folder afterwards.
bool MakeDirectories(const std::string& dir);

}  // namespace ecu
