#include "ecudata/history.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ecudata/datafile.h"
#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "ecudata/restore.h"
#include "link/appdirs.h"
#include "link/bytes.h"
#include "link/userio.h"
#include "link/utils.h"
#include "maps/map1.h"

namespace ecu {
namespace {

// A history file far beyond kHistoryRecordsKept lines is not ours; only its start is read.
constexpr size_t kMaxHistoryBytes = 1 << 20;

const char* TypeWord(int type) {
  return type == kParType ? "configuration" : "mapping";
}

const char* KindWord(HistoryKind kind) {
  switch (kind) {
    case HistoryKind::Stored:
      return "stored";
    case HistoryKind::Loaded:
      return "loaded";
    case HistoryKind::Imported:
      return "imported";
    case HistoryKind::RestorePoint:
      break;
  }
  return "";
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\':
        *out += '\\';
        break;
      case 't':
        *out += '\t';
        break;
      case 'n':
        *out += '\n';
        break;
      case 'r':
        *out += '\r';
        break;
      default:
        return false;
    }
  }
  return true;
}

bool ParseRecord(std::string_view line, HistoryRecord* record) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t', start)) {
    parts.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  parts.push_back(line.substr(start));
  if (parts.size() != 5) return false;

  long long seconds = 0;
  const char* end = parts[0].data() + parts[0].size();
  const auto [ptr, ec] = std::from_chars(parts[0].data(), end, seconds);
  if (ec != std::errc() || ptr != end || seconds < 0) return false;
  record->time = static_cast<std::time_t>(seconds);

  if (parts[1] == "stored")
    record->kind = HistoryKind::Stored;
  else if (parts[1] == "loaded")
    record->kind = HistoryKind::Loaded;
  else if (parts[1] == "imported")
    record->kind = HistoryKind::Imported;
  else
    return false;

  if (parts[2] == "configuration")
    record->type = kParType;
  else if (parts[2] == "mapping")
    record->type = kMapType;
  else
    return false;

  return Unescape(parts[3], &record->path) && !record->path.empty() && Unescape(parts[4], &record->name);
}

std::string ReadText(const std::string& path, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (!in) return text;
  text.resize(limit);
  in.read(text.data(), static_cast<std::streamsize>(limit));
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

// Judges the file of an entry whose block type is known, and reads its bike.
void Judge(HistoryEntry* e) {
  struct stat st {};
  if (stat(e->path.c_str(), &st) != 0) {
    e->state = HistoryState::Missing;
    return;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  if (!S_ISREG(st.st_mode) || size > BlockSize(e->type)) {
    e->state = HistoryState::Foreign;
    return;
  }
  if (size < BlockSize(e->type)) {
    e->state = HistoryState::Truncated;
    return;
  }
  DataFile file;
  if (!ReadDataFile(e->path, &file, nullptr) || file.type != e->type) {
    e->state = HistoryState::Foreign;
    return;
  }
  e->state = HistoryState::Ready;
  e->bike = com::Get32LE(file.bytes.data() + BikeOffset(e->type));
}

// "YYYY-MM-DD_HHMMSS" at the start of a restore point's name, as local time.
std::time_t NameTime(const std::string& file) {
  auto num = [&](size_t pos, size_t len) { return std::stoi(file.substr(pos, len)); };
  std::tm t{};
  t.tm_year = num(0, 4) - 1900;
  t.tm_mon = num(5, 2) - 1;
  t.tm_mday = num(8, 2);
  t.tm_hour = num(11, 2);
  t.tm_min = num(13, 2);
  t.tm_sec = num(15, 2);
  t.tm_isdst = -1;
  return std::mktime(&t);
}

// The data-set name part of a restore point's file name.
std::string NameOf(const std::string& file, int type) {
  const size_t start = 18 + std::strlen(TypeWord(type)) + 1;
  const size_t end = file.size() - 4;  // ".ecd" / ".emd"
  return end > start ? file.substr(start, end - start) : std::string();
}

void AddRange(BlockPart* part, uint32_t offset, uint32_t size) {
  part->ranges.emplace_back(offset, size);
}

}  // namespace

const char* HistoryKindText(HistoryKind kind) {
  return kind == HistoryKind::RestorePoint ? "restore point" : KindWord(kind);
}

const char* HistoryStateText(HistoryState state) {
  switch (state) {
    case HistoryState::Ready:
      return "";
    case HistoryState::Missing:
      return "missing";
    case HistoryState::Truncated:
      return "truncated";
    case HistoryState::Foreign:
      return "foreign file";
  }
  return "";
}

std::string HistoryFilePath() {
  const std::string data = com::UserDataDirectory("kestra");
  return data.empty() ? std::string() : data + "/history.txt";
}

std::string HistoryRecordLine(const HistoryRecord& r) {
  char seconds[24];
  const auto res = std::to_chars(seconds, seconds + sizeof seconds, static_cast<long long>(r.time));
  return std::string(seconds, res.ptr) + "\t" + KindWord(r.kind) + "\t" + TypeWord(r.type) + "\t" +
         Escape(r.path) + "\t" + Escape(r.name) + "\n";
}

std::vector<HistoryRecord> ParseHistoryText(std::string_view text, size_t* skipped) {
  std::vector<HistoryRecord> records;
  size_t bad = 0;
  size_t start = 0;
  while (start < text.size()) {
    const size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {  // a last line without its end was cut off
      ++bad;
      break;
    }
    const std::string_view line = text.substr(start, nl - start);
    start = nl + 1;
    if (line.empty() || line[0] == '#') continue;
    HistoryRecord record;
    if (ParseRecord(line, &record))
      records.push_back(std::move(record));
    else
      ++bad;
  }
  if (skipped) *skipped = bad;
  return records;
}

bool RecordHistory(const HistoryRecord& record) {
  const std::string path = HistoryFilePath();
  if (path.empty() || record.kind == HistoryKind::RestorePoint ||
      (record.type != kParType && record.type != kMapType))
    return false;
  std::vector<HistoryRecord> records = ParseHistoryText(ReadText(path, kMaxHistoryBytes));
  records.push_back(record);
  const size_t drop = records.size() > kHistoryRecordsKept ? records.size() - kHistoryRecordsKept : 0;
  std::string text = "# kestra history: time, kind, block, file, data-set name\n";
  for (size_t i = drop; i < records.size(); ++i) text += HistoryRecordLine(records[i]);
  if (!MakeDirectories(path.substr(0, path.rfind('/')))) return false;
  return WriteFileAtomic(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void NoteInHistory(HistoryKind kind, int type, const std::string& path) {
  HistoryRecord record;
  record.time = std::time(nullptr);
  record.kind = kind;
  record.type = type;
  char resolved[PATH_MAX];
  record.path = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
  record.name = com::Ui().GetConfigName(type);
  RecordHistory(record);
}

bool NoteImportInHistory(int type, std::time_t now) {
  std::string copy;
  if (KeepRestorePointAlways(type, now, &copy) != RestoreResult::Written) return false;
  com::Ui().ShowStatus("The imported " + std::string(TypeWord(type)) + " is kept in the history: " + copy);
  return RecordHistory({now, HistoryKind::Imported, type, copy, com::Ui().GetConfigName(type)});
}

std::vector<HistoryEntry> ReadHistoryFrom(const std::string& restoreDir, const std::string& historyFile,
                                          int type) {
  std::vector<HistoryEntry> entries;
  std::vector<HistoryRecord> records;
  if (!historyFile.empty()) records = ParseHistoryText(ReadText(historyFile, kMaxHistoryBytes));
  // A copy kept for an import is listed once, as the import.
  std::vector<std::string> recorded;
  for (const HistoryRecord& r : records) recorded.push_back(r.path);
  std::sort(recorded.begin(), recorded.end());
  if (DIR* d = restoreDir.empty() ? nullptr : opendir(restoreDir.c_str())) {
    while (const dirent* de = readdir(d)) {
      const std::string file = de->d_name;
      if (file.empty() || file[0] == '.') continue;  // also the temporary files of a write
      HistoryEntry e;
      e.entry = file;
      e.path = restoreDir + "/" + file;
      if (std::binary_search(recorded.begin(), recorded.end(), e.path)) continue;
      e.type = RestorePointType(file);
      if (e.type != 0) {
        e.time = NameTime(file);
        e.name = NameOf(file, e.type);
        Judge(&e);
      } else {
        struct stat st {};
        if (stat(e.path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        e.time = st.st_mtime;
        e.state = HistoryState::Foreign;
      }
      if (type == 0 || e.type == type) entries.push_back(std::move(e));
    }
    closedir(d);
  }
  {
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
      HistoryRecord& r = *it;
      if (type != 0 && r.type != type) continue;
      HistoryEntry e;
      e.entry = r.path;
      e.path = std::move(r.path);
      e.time = r.time;
      e.kind = r.kind;
      e.type = r.type;
      e.name = std::move(r.name);
      Judge(&e);
      entries.push_back(std::move(e));
    }
  }
  // Newest first; within one second the records (the later first, hence the reversed
  // file order), then the restore points by name, the higher first.
  std::stable_sort(entries.begin(), entries.end(), [](const HistoryEntry& a, const HistoryEntry& b) {
    if (a.time != b.time) return a.time > b.time;
    const bool pointA = a.kind == HistoryKind::RestorePoint, pointB = b.kind == HistoryKind::RestorePoint;
    if (pointA != pointB) return !pointA;
    return pointA && a.entry > b.entry;
  });
  return entries;
}

std::vector<HistoryEntry> ReadHistory(int type) {
  return ReadHistoryFrom(RestoreDirectory(), HistoryFilePath(), type);
}

const HistoryEntry* FindHistoryEntry(const std::vector<HistoryEntry>& entries, const std::string& name) {
  for (const HistoryEntry& e : entries)
    if (e.entry == name) return &e;
  for (const HistoryEntry& e : entries)
    if (e.path == name) return &e;
  return nullptr;
}

std::string RestorePointPath(const std::string& name) {
  const std::string dir = RestoreDirectory();
  if (dir.empty() || name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
    return {};
  const std::string path = dir + "/" + name;
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? path : std::string();
}

bool ReadHistoryBlock(const HistoryEntry& entry, std::vector<uint8_t>* bytes, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (entry.state != HistoryState::Ready) {
    *error = entry.path + ": " + HistoryStateText(entry.state);
    return false;
  }
  DataFile file;
  if (!ReadDataFile(entry.path, &file, error)) return false;
  if (file.type != entry.type) {
    *error = entry.path + ": the file has changed since it was listed";
    return false;
  }
  *bytes = std::move(file.bytes);
  return true;
}

long CountHistoryDifferences(const HistoryEntry& entry, int type, const uint8_t* block, FieldTables fields) {
  if (entry.type != type) return -1;
  std::vector<uint8_t> bytes;
  if (!ReadHistoryBlock(entry, &bytes, nullptr)) return -1;
  return static_cast<long>(DiffBlocks(type, bytes.data(), block, fields).size());
}

std::vector<BlockPart> BlockParts(int type, std::span<const NamedTable> pages) {
  std::vector<BlockPart> parts;
  if (type == kMapType) {
    for (int id = 1; id <= maps::kMapCount; ++id) {
      BlockPart part{maps::MapName(id), {}};
      for (int plane = 0; plane < maps::MapPlanes(id); ++plane) {
        maps::MapPlace place{};
        if (!maps::GetMapPlace(id, plane, &place)) continue;
        AddRange(&part, place.matrix, maps::kMapCells * 2);
        if (plane == 0) {
          AddRange(&part, place.xAxis, maps::kMapCols * 2);
          AddRange(&part, place.yAxis, maps::kMapRows * 2);
        }
      }
      parts.push_back(std::move(part));
    }
    parts.push_back({"Notes", {{maps::kNotesOffset, maps::kNotesSize}}});
  }
  if (type != kMapType && type != kParType) return parts;
  for (const NamedTable& page : pages) {
    BlockPart part{page.name, {}};
    for (const Field& f : page.fields) {
      for (int r = 0; r < f.rows; ++r)
        for (int c = 0; c < f.cols; ++c) AddRange(&part, ElementOffset(f, r, c), TypeSize(f.type));
    }
    parts.push_back(std::move(part));
  }
  return parts;
}

void MergeBlockParts(int type, uint8_t* into, const uint8_t* from, std::span<const BlockPart> parts) {
  const uint32_t size = BlockSize(type);
  if (size == 0) return;
  if (parts.empty()) {
    const uint32_t start = kDataStampOffset + kStampSize;  // both stamps stay
    std::copy(from + start, from + size, into + start);
    return;
  }
  for (const BlockPart& part : parts) {
    for (const auto& [offset, length] : part.ranges) {
      if (offset >= size) continue;
      const uint32_t n = std::min(length, size - offset);
      std::copy(from + offset, from + offset + n, into + offset);
    }
  }
}

bool RestoreWorkingBlock(int type, const uint8_t* from, std::span<const BlockPart> parts, std::time_t now,
                         std::string* restorePoint) {
  if (type != kParType && type != kMapType) return false;
  std::string kept;
  if (KeepRestorePointAlways(type, now, &kept) != RestoreResult::Written) return false;
  MergeBlockParts(type, WorkingBlock(type), from, parts);
  if (restorePoint) *restorePoint = kept;
  return true;
}

}  // namespace ecu
