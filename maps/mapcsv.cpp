// One map as CSV text, and back.
#include "maps/mapcsv.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "link/utils.h"
#include "maps/map1.h"

namespace maps {

namespace {

constexpr int kCsvLines = kMapRows + 1;
constexpr int kCsvFields = kMapCols + 1;

const char* const kShortNames[kMapCount] = {"injection", "advance", "injvel", "advvel", "cranking"};

// 10^k when `scale` is a power of ten up to 10^9, else -1.
int PowerOfTen(double scale) {
  double p = 1;
  for (int k = 0; k <= 9; ++k, p *= 10)
    if (scale == p) return k;
  return -1;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Strict decimal number: [+-] digits [. digits] [e [+-] digits], or [+-] . digits.
// No "inf", "nan", hexadecimal or grouping.
bool ParseNumber(std::string_view s, double* value) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != s.size()) return false;
  std::string_view body = s;
  if (body.front() == '+') body.remove_prefix(1);
  double d = 0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), d);
  if (result.ec != std::errc() || result.ptr != body.data() + body.size()) return false;
  if (!std::isfinite(d)) return false;
  *value = d;
  return true;
}

// A field as shown in a message: cut, and every byte but printable ASCII replaced, so
// a file's bytes cannot drive the terminal.
std::string Shown(std::string_view field) {
  std::string out;
  for (char c : field.substr(0, 24)) {
    const auto u = static_cast<unsigned char>(c);
    out += u < 0x20 || u >= 0x7F ? '?' : c;
  }
  if (field.size() > 24) out += "...";
  return out;
}

std::string Where(int line, int field) {
  return "line " + std::to_string(line) + ", field " + std::to_string(field) + ": ";
}

std::string ShapeText() {
  return "a map has " + std::to_string(kCsvLines) + " lines of " + std::to_string(kCsvFields) +
         " comma-separated fields";
}

// Splits the text into at most kCsvLines + 1 lines ("\n" or "\r\n"); a final line end
// does not start another line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty() && static_cast<int>(lines.size()) <= kCsvLines) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  while (true) {
    const size_t comma = line.find(',');
    fields.push_back(line.substr(0, comma));
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
  }
  return fields;
}

// A parsed and checked field: the raw value it stores.
bool ReadRaw(std::string_view field, int line, int index, double scale, double min, double max, int decimals,
             const char* what, int32_t* raw, std::string* error) {
  std::string_view s = Trim(field);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = Trim(s.substr(1, s.size() - 2));
  if (s.empty()) {
    *error = Where(line, index) + "empty field, expected a number";
    return false;
  }
  double d = 0;
  if (!ParseNumber(s, &d)) {
    *error = Where(line, index) + "'" + Shown(s) + "' is not a number";
    return false;
  }
  const double lo = DisplayToRaw(min, scale), hi = DisplayToRaw(max, scale);
  const double r = std::fabs(d) > 1e12 ? d : DisplayToRaw(d, scale);
  if (!(r >= lo && r <= hi)) {
    *error = Where(line, index) + what + " " + Shown(s) + " is outside the limits " +
             FormatDisplay(static_cast<int32_t>(lo), scale, decimals) + " to " +
             FormatDisplay(static_cast<int32_t>(hi), scale, decimals);
    return false;
  }
  *raw = static_cast<int32_t>(r);
  return true;
}

}  // namespace

bool GetMapUnits(int id, MapUnits* units) {
  if (id < 1 || id > kMapCount) return false;
  // The catalogue answers for the current map; select `id` for the question only.
  const uint8_t savedMap = idCurMap, savedCyl = idCurJcyl;
  idCurMap = static_cast<uint8_t>(id);
  idCurJcyl = 0;
  MapUnits u;
  const bool ok =
      GetCurMapInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &u.scaleX, &u.scaleY, &u.scaleZ) &&
      GetCurMapAttribute(&u.precX, &u.precY, &u.precZ, &u.minX, &u.minY, &u.minZ, &u.maxX, &u.maxY, &u.maxZ);
  idCurMap = savedMap;
  idCurJcyl = savedCyl;
  if (ok) *units = u;
  return ok;
}

const char* MapShortName(int id) {
  return id >= 1 && id <= kMapCount ? kShortNames[id - 1] : "";
}

int ParseMapId(const std::string& word) {
  for (int id = 1; id <= kMapCount; ++id)
    if (word == std::to_string(id) || word == kShortNames[id - 1]) return id;
  return 0;
}

std::string FormatDisplay(int32_t raw, double scale, int decimals) {
  if (decimals < 0) decimals = 0;
  const int k = PowerOfTen(scale);
  if (k >= 0 && decimals >= k) {
    // Exact: integer part and the k digits of the fraction, then zeros.
    const int64_t magnitude = raw < 0 ? -static_cast<int64_t>(raw) : raw;
    int64_t divisor = 1;
    for (int i = 0; i < k; ++i) divisor *= 10;
    std::string text = raw < 0 ? "-" : "";
    text += std::to_string(magnitude / divisor);
    if (decimals > 0) {
      std::string fraction;
      if (k > 0) {
        fraction = std::to_string(magnitude % divisor);
        fraction.insert(0, static_cast<size_t>(k) - fraction.size(), '0');
      }
      fraction.append(static_cast<size_t>(decimals - k), '0');
      text += '.' + fraction;
    }
    return text;
  }
  // Another scale: round the quotient, without a "-0", with a decimal point.
  return com::FixedTextUnsignedZero(raw / scale, decimals);
}

double DisplayToRaw(double display, double scale) {
  const double d = display * scale;
  return display > 0 ? std::trunc(d + 0.5) : std::trunc(d - 0.5) + 0.0;
}

std::string ExportMapCsv(const uint8_t* block, int id, int plane) {
  MapPlace place;
  MapUnits u;
  if (!GetMapPlace(id, plane, &place) || !GetMapUnits(id, &u)) return "";
  // Read-only views into the block.
  uint8_t* base = const_cast<uint8_t*>(block);
  const CellArray x{base + place.xAxis}, y{base + place.yAxis}, z{base + place.matrix};
  std::string out;
  out.reserve(8192);
  for (int c = 0; c < kMapCols; ++c) out += ',' + FormatDisplay(x.Get(c), u.scaleX, u.precX);
  out += '\n';
  for (int r = 0; r < kMapRows; ++r) {
    out += FormatDisplay(y.Get(r), u.scaleY, u.precY);
    for (int c = 0; c < kMapCols; ++c) out += ',' + FormatDisplay(z.Get(r * kMapCols + c), u.scaleZ, u.precZ);
    out += '\n';
  }
  return out;
}

bool ImportMapCsv(const std::string& text, uint8_t* block, int id, int plane, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  MapPlace place;
  MapUnits u;
  if (!GetMapUnits(id, &u)) {
    *error = "there is no map " + std::to_string(id);
    return false;
  }
  if (!GetMapPlace(id, plane, &place)) {
    *error =
        std::string("the map \"") + MapName(id) + "\" has no plane for cylinder " + std::to_string(plane + 1);
    return false;
  }
  const bool singleMatrix = id == 1 && (block[kSingleMatrixOffset] & 1) != 0;
  if (singleMatrix && plane != 0) {
    *error =
        "the single-matrix flag is set: one matrix serves both cylinders, so cylinder 2 is not imported on "
        "its own";
    return false;
  }

  const std::vector<std::string_view> lines = SplitLines(text);
  if (static_cast<int>(lines.size()) < kCsvLines) {
    *error = "line " + std::to_string(lines.size() + 1) + ": missing; the text ends after " +
             std::to_string(lines.size()) + " line" + (lines.size() == 1 ? "" : "s") + " (" + ShapeText() +
             ")";
    return false;
  }
  if (static_cast<int>(lines.size()) > kCsvLines) {
    *error = "line " + std::to_string(kCsvLines + 1) + ": one line too many (" + ShapeText() + ")";
    return false;
  }

  int32_t xs[kMapCols], ys[kMapRows], cells[kMapCells];
  for (int l = 0; l < kCsvLines; ++l) {
    const int line = l + 1;
    const std::vector<std::string_view> fields = SplitFields(lines[l]);
    if (static_cast<int>(fields.size()) != kCsvFields) {
      *error = "line " + std::to_string(line) + ": " + std::to_string(fields.size()) + " field" +
               (fields.size() == 1 ? "" : "s") + ", expected " + std::to_string(kCsvFields) + " (" +
               ShapeText() + ")";
      return false;
    }
    if (l == 0) {
      // The corner field is a label at most; the X breakpoints follow.
      for (int c = 0; c < kMapCols; ++c) {
        if (!ReadRaw(fields[c + 1], line, c + 2, u.scaleX, u.minX, u.maxX, u.precX, "X breakpoint", &xs[c],
                     error))
          return false;
        if (c > 0 && xs[c] < xs[c - 1]) {
          *error = Where(line, c + 2) + "X breakpoint " + FormatDisplay(xs[c], u.scaleX, u.precX) +
                   " is lower than the one before (" + FormatDisplay(xs[c - 1], u.scaleX, u.precX) +
                   "); the X axis must not decrease";
          return false;
        }
      }
      continue;
    }
    const int r = l - 1;
    if (!ReadRaw(fields[0], line, 1, u.scaleY, u.minY, u.maxY, u.precY, "Y breakpoint", &ys[r], error))
      return false;
    if (id <= 4 && ys[r] != bpMapThrottle[r]) {
      *error = Where(line, 1) + "Y breakpoint " + FormatDisplay(ys[r], u.scaleY, u.precY) +
               " is not the fixed throttle axis, which has " +
               FormatDisplay(bpMapThrottle[r], u.scaleY, u.precY) + " here";
      return false;
    }
    if (id == 5 && r > 0 && ys[r] < ys[r - 1]) {
      *error = Where(line, 1) + "Y breakpoint " + FormatDisplay(ys[r], u.scaleY, u.precY) +
               " is lower than the one before (" + FormatDisplay(ys[r - 1], u.scaleY, u.precY) +
               "); the Y axis must not decrease";
      return false;
    }
    for (int c = 0; c < kMapCols; ++c) {
      if (!ReadRaw(fields[c + 1], line, c + 2, u.scaleZ, u.minZ, u.maxZ, u.precZ, "value",
                   &cells[r * kMapCols + c], error))
        return false;
    }
  }

  // Everything checked: write the axes and the plane (both planes for a single matrix).
  const CellArray x{block + place.xAxis}, y{block + place.yAxis};
  for (int c = 0; c < kMapCols; ++c) x.Set(c, static_cast<int16_t>(xs[c]));
  for (int r = 0; r < kMapRows; ++r) y.Set(r, static_cast<int16_t>(ys[r]));
  for (int p = 0; p < MapPlanes(id); ++p) {
    if (p != plane && !singleMatrix) continue;
    MapPlace target;
    GetMapPlace(id, p, &target);
    const CellArray z{block + target.matrix};
    for (int i = 0; i < kMapCells; ++i) z.Set(i, static_cast<int16_t>(cells[i]));
  }
  return true;
}

}  // namespace maps
