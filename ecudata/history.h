// The history of the blocks: the restore points in the restore folder and the data
// files stored, loaded or imported, as listed in a small history file in the user's
// data folder. Listing never fails: an entry whose file is gone, cut short or not a
// data file of this program is listed as such. A restore replaces the working block,
// or some of its maps and pages, after keeping the block it replaces as a restore
// point; nothing in the history is removed by using it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ecudata/blockdiff.h"
#include "ecudata/fields.h"

namespace ecu {

enum class HistoryKind { RestorePoint, Stored, Loaded, Imported };
enum class HistoryState { Ready, Missing, Truncated, Foreign };

// "restore point", "stored", "loaded", "imported".
const char* HistoryKindText(HistoryKind kind);
// "", "missing", "truncated", "foreign file".
const char* HistoryStateText(HistoryState state);

// One line of the history file: a data file stored, loaded or imported.
struct HistoryRecord {
  std::time_t time = 0;
  HistoryKind kind = HistoryKind::Stored;  // never RestorePoint
  int type = 0;                            // kParType or kMapType
  std::string path;                        // absolute as the program saw it
  std::string name;                        // the data-set name at that moment
};

// How many records the history file keeps (the newest).
inline constexpr size_t kHistoryRecordsKept = 200;

// <user data folder>/history.txt; "" without a home folder.
std::string HistoryFilePath();

// A record as one line of the history file (with its line end): the time in seconds
// since 1970, the kind word, "configuration" or "mapping", the path and the name,
// separated by tabs; a backslash, tab, CR or LF inside the texts is escaped.
std::string HistoryRecordLine(const HistoryRecord& record);
// The records of a history file's text in file order. A line that is not a record
// (a comment, a cut-off last line, garbage) is skipped and counted in `*skipped`.
std::vector<HistoryRecord> ParseHistoryText(std::string_view text, size_t* skipped = nullptr);

// Adds a record to the history file (atomically), keeping the newest
// kHistoryRecordsKept. False when the file cannot be written; a record is a help,
// never a reason for a command to fail.
bool RecordHistory(const HistoryRecord& record);

// Records a data file just stored or loaded (`path` made absolute, the data-set name
// as the status shows it, the time now).
void NoteInHistory(HistoryKind kind, int type, const std::string& path);
// After an import: keeps the imported working block of `type` in the restore folder
// and records that copy as imported, so that the import can be compared and restored
// like a stored file. False when the copy cannot be written.
bool NoteImportInHistory(int type, std::time_t now);

// One entry as listed.
struct HistoryEntry {
  std::string entry;  // the name to give `restore` and `diff`: a restore point's file name, else the path
  std::string path;   // the file
  std::time_t time = 0;
  HistoryKind kind = HistoryKind::RestorePoint;
  int type = 0;  // kParType, kMapType, or 0 for a foreign file of the restore folder
  std::string name;
  uint32_t bike = 0;  // when ready
  HistoryState state = HistoryState::Ready;
};

// The restore points of the restore folder (every other file in it as foreign) and
// the records of the history file, newest first; `type` 0 lists all, else only the
// entries of that block type.
std::vector<HistoryEntry> ReadHistory(int type = 0);
// The same for given places (tests, benchmarks).
std::vector<HistoryEntry> ReadHistoryFrom(const std::string& restoreDir, const std::string& historyFile,
                                          int type = 0);

// The entry named `name` (its entry name or its path); null when there is none.
const HistoryEntry* FindHistoryEntry(const std::vector<HistoryEntry>& entries, const std::string& name);
// The path of the restore point with file name `name` in the restore folder, or ""
// when there is no such regular file (a name with a '/' is no restore point name).
std::string RestorePointPath(const std::string& name);

// The block of a ready entry; false with the reason in `*error` otherwise.
bool ReadHistoryBlock(const HistoryEntry& entry, std::vector<uint8_t>* bytes, std::string* error);

// The number of differences (as DiffBlocks lists them) between the entry's block and
// `block` of `type`; -1 when the entry is not ready or of another type.
long CountHistoryDifferences(const HistoryEntry& entry, int type, const uint8_t* block, FieldTables fields);

// A page's field table with the page's name.
struct NamedTable {
  const char* name;
  std::span<const Field> fields;
};

// A part of a block that can be restored by itself: a map (both planes of map 1),
// the notes, or a page of fields. Ranges are [offset, offset + size).
struct BlockPart {
  std::string name;
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
};
// The parts of `type`: for the map block the five maps by their names and the notes,
// then the pages of `pages`; for the parameter block only the pages.
std::vector<BlockPart> BlockParts(int type, std::span<const NamedTable> pages);

// Copies the parts from `from` into `into` (both blocks of `type`); with no parts,
// the whole block except the two stamps.
void MergeBlockParts(int type, uint8_t* into, const uint8_t* from, std::span<const BlockPart> parts);

// Restores the working block of `type` from `from` (the parts, or with none the
// whole block as MergeBlockParts does). The block it replaces is kept as a restore
// point first, changed or not; when that cannot be written nothing is restored.
// `*restorePoint` receives the restore point's path. True when restored.
bool RestoreWorkingBlock(int type, const uint8_t* from, std::span<const BlockPart> parts, std::time_t now,
                         std::string* restorePoint = nullptr);

}  // namespace ecu
