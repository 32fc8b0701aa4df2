#include "ecudata/blockdiff.h"

#include <cstdio>

#include "config/bike.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/cp1252.h"
#include "link/utils.h"
#include "maps/map1.h"
#include "maps/mapcsv.h"

namespace ecu {

namespace {

// Units written after the breakpoints of each map's X and Y axis.
const char* const kXUnit[maps::kMapCount] = {" RPM", " RPM", " km/h", " km/h", " rev"};
const char* const kYUnit[maps::kMapCount] = {"", "", "", "", " \u00B0C"};

std::string Signed(int32_t raw, double scale, int decimals) {
  std::string text = maps::FormatDisplay(raw, scale, decimals);
  return raw > 0 ? "+" + text : text;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

// The notes text of a map block in UTF-8: up to its terminator, at most 399 bytes.
std::string Notes(const uint8_t* block) {
  return com::FromCp1252(com::FieldText(block + maps::kNotesOffset, maps::kNotesSize - 1));
}

// A breakpoint as the place of a cell: its value in A (and in B when that differs), with
// the point's number when the value occurs more than once on A's axis.
std::string PlaceText(const maps::CellArray& axisA, const maps::CellArray& axisB, int count, int i,
                      double scale, int decimals, const char* unit) {
  const int16_t va = axisA.Get(i), vb = axisB.Get(i);
  std::string text = maps::FormatDisplay(va, scale, decimals);
  if (vb != va) text += "->" + maps::FormatDisplay(vb, scale, decimals);
  text += unit;
  for (int j = 0; j < count; ++j) {
    if (j != i && axisA.Get(j) == va) {
      text += " (point " + std::to_string(i + 1) + ")";
      break;
    }
  }
  return text;
}

void DiffAxis(std::vector<BlockDifference>& out, const char* name, const char* axis, const maps::CellArray& a,
              const maps::CellArray& b, int count, double scale, int decimals) {
  for (int i = 0; i < count; ++i) {
    const int16_t va = a.Get(i), vb = b.Get(i);
    if (va == vb) continue;
    BlockDifference d;
    d.item = name;
    d.x = std::string(axis) + " axis point " + std::to_string(i + 1);
    d.a = maps::FormatDisplay(va, scale, decimals);
    d.b = maps::FormatDisplay(vb, scale, decimals);
    d.change = Signed(vb - va, scale, decimals);
    out.push_back(d);
  }
}

void DiffMap(std::vector<BlockDifference>& out, int id, const uint8_t* a, const uint8_t* b) {
  maps::MapUnits u;
  maps::MapPlace place;
  if (!maps::GetMapUnits(id, &u) || !maps::GetMapPlace(id, 0, &place)) return;
  // Read-only views.
  uint8_t* pa = const_cast<uint8_t*>(a);
  uint8_t* pb = const_cast<uint8_t*>(b);
  const maps::CellArray xa{pa + place.xAxis}, xb{pb + place.xAxis}, ya{pa + place.yAxis},
      yb{pb + place.yAxis};
  const char* name = maps::MapName(id);
  DiffAxis(out, name, "X", xa, xb, maps::kMapCols, u.scaleX, u.precX);
  DiffAxis(out, name, "Y", ya, yb, maps::kMapRows, u.scaleY, u.precY);
  const int planes = maps::MapPlanes(id);
  for (int p = 0; p < planes; ++p) {
    maps::GetMapPlace(id, p, &place);
    const maps::CellArray za{pa + place.matrix}, zb{pb + place.matrix};
    for (int r = 0; r < maps::kMapRows; ++r) {
      for (int c = 0; c < maps::kMapCols; ++c) {
        const int i = r * maps::kMapCols + c;
        const int16_t va = za.Get(i), vb = zb.Get(i);
        if (va == vb) continue;
        BlockDifference d;
        d.item = name;
        if (planes > 1) d.plane = "cyl " + std::to_string(p + 1);
        d.x = PlaceText(xa, xb, maps::kMapCols, c, u.scaleX, u.precX, kXUnit[id - 1]);
        d.y = PlaceText(ya, yb, maps::kMapRows, r, u.scaleY, u.precY, kYUnit[id - 1]);
        d.a = maps::FormatDisplay(va, u.scaleZ, u.precZ);
        d.b = maps::FormatDisplay(vb, u.scaleZ, u.precZ);
        d.change = Signed(vb - va, u.scaleZ, u.precZ);
        out.push_back(d);
      }
    }
  }
}

// A field's shown value as text; a value that rounds to zero reads "0.00", not "-0.00".
std::string ShownText(const Field& f, int64_t raw) {
  std::string text = FormatShown(f, ToShown(f, raw));
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

// The named elements of the tables whose bytes no earlier item showed; their bytes
// leave the word list.
void DiffFields(std::vector<BlockDifference>& out, const uint8_t* a, const uint8_t* b, uint32_t first,
                uint32_t size, FieldTables tables, std::vector<uint8_t>& mask) {
  for (std::span<const Field> table : tables) {
    for (const Field& f : table) {
      if (f.control == nullptr || f.control[0] == '\0') continue;
      const uint32_t bytes = static_cast<uint32_t>(TypeSize(f.type));
      for (int r = 0; r < f.rows; ++r) {
        for (int c = 0; c < f.cols; ++c) {
          const uint32_t o = ElementOffset(f, r, c);
          if (o < first || o >= size || bytes > size - o) continue;
          bool free = true;
          for (uint32_t i = o; i < o + bytes; ++i) free = free && mask[i] == 0xFF;
          if (!free) continue;
          for (uint32_t i = o; i < o + bytes; ++i) mask[i] = 0;
          const int64_t ra = GetRaw(a, f, r, c), rb = GetRaw(b, f, r, c);
          if (ra == rb) continue;
          BlockDifference d;
          if (f.InTable()) {
            d.item = f.control;
            d.x = "column " + std::to_string(f.col + c + 1);
            d.y = "row " + std::to_string(f.row + r + 1);
          } else if (f.Count() > 1) {
            d.item = ElementControl(f, r * f.cols + c);
          } else {
            d.item = f.control;
          }
          d.a = ShownText(f, ra);
          d.b = ShownText(f, rb);
          if (d.a == d.b) {  // finer than the decimals show
            d.a += " (raw " + std::to_string(ra) + ")";
            d.b += " (raw " + std::to_string(rb) + ")";
          }
          if (f.kind != FieldKind::Toggle && f.kind != FieldKind::Ring) {
            const int64_t change = rb - ra;
            d.change = (change > 0 ? "+" : "") + FormatShown(f, ToShown(f, change));
          }
          out.push_back(d);
        }
      }
    }
  }
}

// Every 16-bit word from `first` on whose bits under `mask` differ.
void DiffWords(std::vector<BlockDifference>& out, const uint8_t* a, const uint8_t* b, uint32_t first,
               uint32_t size, const std::vector<uint8_t>& mask) {
  for (uint32_t o = first; o + 1 < size; o += 2) {
    if (((a[o] ^ b[o]) & mask[o]) == 0 && ((a[o + 1] ^ b[o + 1]) & mask[o + 1]) == 0) continue;
    const uint16_t va = com::Get16LE(a + o), vb = com::Get16LE(b + o);
    BlockDifference d;
    d.item = "Offset " + std::to_string(o);
    d.a = std::to_string(va);
    d.b = std::to_string(vb);
    const int change = vb - va;
    d.change = (change > 0 ? "+" : "") + std::to_string(change);
    out.push_back(d);
  }
}

// A text for a line of output: quotes around it, control characters as escapes (C1
// controls too, so a file's bytes cannot drive the terminal).
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(text[i + 1]));
      out += escape;
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// A CSV field: quoted when it holds a separator, a quote or a line end. A text that a
// spreadsheet would take for a formula gets a leading apostrophe; control characters
// other than line ends and tabs become '?'.
std::string CsvField(const std::string& text, bool isText) {
  std::string value;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\n' && c != '\r' && c != '\t') || c == 0x7F) {
      value += '?';
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      value += '?';
      ++i;
    } else {
      value += static_cast<char>(c);
    }
  }
  if (isText && !value.empty() && std::string("=+-@\t\r").find(value[0]) != std::string::npos)
    value.insert(0, 1, '\'');
  if (value.find_first_of(",\"\n\r") == std::string::npos) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// The notes are the one free text from the file: quoted and escaped when shown.
bool IsTextItem(const BlockDifference& d) {
  return d.item == "Notes";
}

}  // namespace

std::string BikeDescription(uint32_t word) {
  if (((word >> 16) & 0xFF) == 0xFF) return "not set (" + Hex(word, 6) + ")";
  std::string text = config::BikeText(word) + " (code " + Hex(word, 6) + ")";
  if (!config::IsCatalogued(word)) text += ", not in the bike catalogue";
  return text;
}

std::vector<BlockDifference> DiffBlocks(int type, const uint8_t* a, const uint8_t* b, FieldTables fields) {
  std::vector<BlockDifference> out;
  const uint32_t size = BlockSize(type);
  if (size == 0) return out;
  const uint32_t first = kDataStampOffset + kStampSize;  // the stamps are not compared
  std::vector<uint8_t> mask(size, 0xFF);
  if (type == kMapType) {
    for (int id = 1; id <= maps::kMapCount; ++id) DiffMap(out, id, a, b);
    const std::string notesA = Notes(a), notesB = Notes(b);
    if (notesA != notesB) out.push_back({"Notes", "", "", "", notesA, notesB, ""});
    const bool singleA = a[maps::kSingleMatrixOffset] & 1, singleB = b[maps::kSingleMatrixOffset] & 1;
    if (singleA != singleB)
      out.push_back({"Single matrix", "", "", "", singleA ? "on" : "off", singleB ? "on" : "off", ""});
    const uint32_t bikeA = com::Get32LE(a + kMapBikeOffset), bikeB = com::Get32LE(b + kMapBikeOffset);
    if (bikeA != bikeB)
      out.push_back({"Bike", "", "", "", BikeDescription(bikeA), BikeDescription(bikeB), ""});

    // What was shown above is left out of the word list.
    auto cover = [&mask](uint32_t from, uint32_t count) {
      for (uint32_t i = from; i < from + count; ++i) mask[i] = 0;
    };
    cover(maps::kNotesOffset, maps::kNotesSize);
    for (int id = 1; id <= maps::kMapCount; ++id) {
      for (int p = 0; p < maps::MapPlanes(id); ++p) {
        maps::MapPlace place;
        maps::GetMapPlace(id, p, &place);
        cover(place.matrix, 2 * maps::kMapCells);
        cover(place.xAxis, 2 * maps::kMapCols);
        cover(place.yAxis, 2 * maps::kMapRows);
      }
    }
    cover(kMapBikeOffset, 4);
    mask[maps::kSingleMatrixOffset] = 0xFE;
  }
  DiffFields(out, a, b, first, size, fields, mask);
  DiffWords(out, a, b, first, size, mask);
  return out;
}

std::string DiffLine(const BlockDifference& d) {
  const bool text = IsTextItem(d);
  std::string line = d.item;
  if (!d.plane.empty()) line += " " + d.plane;
  if (!d.x.empty()) line += "  " + d.x;
  if (!d.y.empty()) line += "  " + d.y;
  line += ": ";
  line += text ? Quoted(d.a) : d.a;
  line += " -> ";
  line += text ? Quoted(d.b) : d.b;
  if (!d.change.empty()) line += " (" + d.change + ")";
  return line;
}

std::string DiffCsvHeader() {
  return "item,plane,x,y,a,b,change";
}

std::string DiffCsvRow(const BlockDifference& d) {
  const bool text = IsTextItem(d);
  return CsvField(d.item, false) + ',' + CsvField(d.plane, false) + ',' + CsvField(d.x, false) + ',' +
         CsvField(d.y, false) + ',' + CsvField(d.a, text) + ',' + CsvField(d.b, text) + ',' +
         CsvField(d.change, false);
}

}  // namespace ecu
