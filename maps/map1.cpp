// The catalogue of the five calibration maps.
#include "maps/map1.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/cp1252.h"

namespace maps {

uint8_t idCurMap = 1;
uint8_t idCurJcyl = 0;

const int16_t bpMapThrottle[kMapRows] = {0,   20,  40,  60,  80,  100, 125, 150, 200, 250,
                                         300, 350, 400, 450, 500, 600, 700, 800, 900, 1000};

namespace {

constexpr uint32_t kPlaneStride = 1280;  // the two cylinder planes of map 1

struct MapDef {
  const char* name;
  int planes;
  MapPlace place;  // plane 0
  double scaleX, scaleY, scaleZ;
  int precX, precY, precZ;
  double minX, maxX, minY, maxY, minZ, maxZ;
  int16_t defaultCell;
  const char* xLabel;
  const char* yLabel;
  const char* zFormat;  // map 1: %u takes the cylinder number
  const char* matrixCaption;
  const char* yCaption;  // written vertically by the editor
  const char* unitCaption;
};

const MapDef kMaps[kMapCount] = {
    {"Injection",
     2,
     {464, 3024, 3088},
     1,
     10,
     1000,
     0,
     1,
     3,
     0,
     20000,
     0,
     100,
     0,
     32,
     0,
     " RPM",
     "Throttle [\u00B0]",
     "TerogBase(%u) [ms]",
     " RPM",
     "Throttle",
     "[ms]"},
    {"Advance",
     1,
     {3128, 4408, 4472},
     1,
     10,
     10,
     0,
     1,
     1,
     0,
     20000,
     0,
     100,
     -720,
     720,
     0,
     " RPM",
     "Throttle [\u00B0]",
     "TetaBase [\u00B0]",
     " RPM",
     "Throttle",
     "[deg]"},
    {"Injection Correction by Velocity",
     1,
     {5896, 7176, 7240},
     1,
     10,
     1000,
     0,
     1,
     3,
     0,
     500,
     0,
     100,
     0,
     2,
     1000,
     "Velocity [Km/h]",
     "Throttle [\u00B0]",
     "KJVel",
     " Velocity",
     "Throttle",
     "K"},
    {"Advance Correction by Velocity",
     1,
     {4512, 5792, 5856},
     1,
     10,
     10,
     0,
     1,
     1,
     0,
     500,
     0,
     100,
     -720,
     720,
     0,
     "Velocity [Km/h]",
     "Throttle [\u00B0]",
     "KAVel [\u00B0]",
     " Velocity",
     "Throttle",
     "[deg]"},
    {"Cranking Correction",
     1,
     {7280, 8560, 8624},
     1,
     10,
     1000,
     0,
     1,
     3,
     0,
     32767,
     -30,
     250,
     0,
     32,
     1000,
     " Revolutions",
     "Water Temperature [\u00B0C]",
     "KJCrank",
     " Revolutions",
     "Water/Oil Temperature",
     "K"},
};

std::function<uint8_t()> scatterHook;

// The current map, or null for an invalid selector (map 1 also needs a valid plane).
const MapDef* CurrentMap() {
  if (idCurMap < 1 || idCurMap > kMapCount) return nullptr;
  const MapDef* def = &kMaps[idCurMap - 1];
  if (idCurJcyl >= def->planes && def->planes > 1) return nullptr;
  return def;
}

int CurrentPlane(const MapDef* def) {
  return def->planes > 1 ? idCurJcyl : 0;
}

}  // namespace

int16_t CellArray::Get(int i) const {
  return static_cast<int16_t>(com::Get16LE(base + 2 * i));
}
void CellArray::Set(int i, int16_t value) const {
  com::Put16LE(base + 2 * i, static_cast<uint16_t>(value));
}

bool GetMapPlace(int id, int plane, MapPlace* place) {
  if (id < 1 || id > kMapCount) return false;
  const MapDef& def = kMaps[id - 1];
  if (plane < 0 || plane >= def.planes) return false;
  *place = def.place;
  place->matrix += static_cast<uint32_t>(plane) * kPlaneStride;
  return true;
}

int MapPlanes(int id) {
  return id >= 1 && id <= kMapCount ? kMaps[id - 1].planes : 0;
}

const char* MapName(int id) {
  if (id == 0) return "<none>";
  if (id < 1 || id > kMapCount) return "";
  return kMaps[id - 1].name;
}

uint8_t GetCurMapInfo(CellArray* x, CellArray* y, CellArray* z, CellArray* refX, CellArray* refY,
                      CellArray* refZ, double* scaleX, double* scaleY, double* scaleZ) {
  const MapDef* def = CurrentMap();
  if (def == nullptr) return 0;
  MapPlace place;
  if (!GetMapPlace(idCurMap, CurrentPlane(def), &place)) return 0;
  if (x) x->base = ecu::ecuMapData + place.xAxis;
  if (y) y->base = ecu::ecuMapData + place.yAxis;
  if (z) z->base = ecu::ecuMapData + place.matrix;
  if (refX) refX->base = ecu::ecuMapRefData + place.xAxis;
  if (refY) refY->base = ecu::ecuMapRefData + place.yAxis;
  if (refZ) refZ->base = ecu::ecuMapRefData + place.matrix;
  if (scaleX) *scaleX = def->scaleX;
  if (scaleY) *scaleY = def->scaleY;
  if (scaleZ) *scaleZ = def->scaleZ;
  return 1;
}

uint8_t GetCurMapAttribute(int* precX, int* precY, int* precZ, double* minX, double* minY, double* minZ,
                           double* maxX, double* maxY, double* maxZ) {
  const MapDef* def = CurrentMap();
  if (def == nullptr) return 0;
  if (precX) *precX = def->precX;
  if (precY) *precY = def->precY;
  if (precZ) *precZ = def->precZ;
  if (minX) *minX = def->minX;
  if (minY) *minY = def->minY;
  if (minZ) *minZ = def->minZ;
  if (maxX) *maxX = def->maxX;
  if (maxY) *maxY = def->maxY;
  if (maxZ) *maxZ = def->maxZ;
  return 1;
}

const char* GetCurMapXlabel() {
  const MapDef* def = CurrentMap();
  return def ? def->xLabel : "";
}

const char* GetCurMapYlabel() {
  const MapDef* def = CurrentMap();
  return def ? def->yLabel : "";
}

const char* GetCurMapZlabel() {
  static char label[64];
  const MapDef* def = CurrentMap();
  if (def == nullptr) return "";
  if (def->planes > 1)
    std::snprintf(label, sizeof label, def->zFormat, static_cast<unsigned>(idCurJcyl) + 1);
  else
    std::snprintf(label, sizeof label, "%s", def->zFormat);
  return label;
}

std::string GetCurMapMatrixCaption() {
  const MapDef* def = CurrentMap();
  return def ? def->matrixCaption : "";
}

std::string GetCurMapVerticalYCaption() {
  const MapDef* def = CurrentMap();
  std::string vertical;
  if (def == nullptr) return vertical;
  for (const char* c = def->yCaption; *c != '\0'; ++c) {
    vertical += *c;
    vertical += '\r';
  }
  return vertical;
}

std::string GetCurMapUnitCaption() {
  const MapDef* def = CurrentMap();
  return def ? def->unitCaption : "";
}

std::string ToWindows1252(const std::string& utf8) {
  return com::ToCp1252(utf8);
}

void SetMp1ScatterHook(std::function<uint8_t()> hook) {
  scatterHook = std::move(hook);
}

uint8_t SetCurMap(int col, int row, double add, double mul, uint8_t restore, uint8_t restoreX,
                  uint8_t restoreY, uint8_t rescatter) {
  if (col < -1 || col >= kMapCols || row < -1 || row >= kMapRows) return 0;
  CellArray x, y, z, refX, refY, refZ;
  if (!GetCurMapInfo(&x, &y, &z, &refX, &refY, &refZ, nullptr, nullptr, nullptr)) return 0;

  if (restoreX) {
    for (int c = 0; c < kMapCols; ++c) x.Set(c, refX.Get(c));
  } else if (restoreY) {
    for (int r = 0; r < kMapRows; ++r) y.Set(r, refY.Get(r));
  } else {
    const bool additive = idCurMap == 2 || idCurMap == 4;
    const double upper = idCurMap == 3 ? 2000.0 : 32000.0;
    const int c0 = col < 0 ? 0 : col, c1 = col < 0 ? kMapCols - 1 : col;
    const int r0 = row < 0 ? 0 : row, r1 = row < 0 ? kMapRows - 1 : row;
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        const int i = r * kMapCols + c;
        if (restore) {
          z.Set(i, refZ.Get(i));
          continue;
        }
        double d = z.Get(i);
        if (additive) {
          d += add;
          if (d >= 7200.0) d = 7200.0;
          if (d <= -7200.0) d = -7200.0;
        } else {
          if (mul == 0.0 && add != 0.0) {
            d += add;
          } else {
            d *= mul;
            d += mul > 0.0 ? 0.5 : -0.5;
          }
          if (d >= upper) d = upper;
          if (d <= 0.0) d = 0.0;
        }
        // A factor or addend that is not a number leaves the cell as it is.
        if (std::isnan(d)) continue;
        z.Set(i, static_cast<int16_t>(std::trunc(d)));
      }
    }
  }
  if (rescatter) return scatterHook ? scatterHook() : 1;
  return 1;
}

void InitMp1Data(int id) {
  ecu::ecuMapData[kSingleMatrixOffset] &= static_cast<uint8_t>(~1u);
  std::memset(ecu::ecuMapData + kNotesOffset, 0, kNotesSize);
  com::Put32LE(ecu::ecuMapData + ecu::kMapBikeOffset, 0xFF0000u);
  if (id < 1 || id > kMapCount) return;
  const MapDef& def = kMaps[id - 1];
  for (int plane = 0; plane < def.planes; ++plane) {
    MapPlace place;
    GetMapPlace(id, plane, &place);
    const CellArray z{ecu::ecuMapData + place.matrix};
    for (int i = 0; i < kMapCells; ++i) z.Set(i, def.defaultCell);
  }
  const CellArray x{ecu::ecuMapData + def.place.xAxis};
  const CellArray y{ecu::ecuMapData + def.place.yAxis};
  for (int c = 0; c < kMapCols; ++c) x.Set(c, 0);
  for (int r = 0; r < kMapRows; ++r) y.Set(r, id <= 4 ? bpMapThrottle[r] : 0);
}

int CylinderCount() {
  return ecu::ecuParData[kCylinderCountOffset];
}

}  // namespace maps
