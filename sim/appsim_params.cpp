// Plausible settings of the parameter pages in the simulated ECU's map sets: rev
// limits, shift light, cut-off, idle, fans, CO correction, transient compensation and
// a neutral traction-control set, so a received mapping reads like a real bike's.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "link/bytes.h"
#include "sim/appsim.h"

namespace sim {

namespace {

void Put(std::vector<uint8_t>& b, uint32_t offset, int value) {
  com::Put16LE(b.data() + offset, static_cast<uint16_t>(static_cast<int16_t>(value)));
}

}  // namespace

void FillParameterPages(std::vector<uint8_t>& b, int set) {
  // Page 1 (offset, value as stored).
  const int page1[][2] = {
      {11850, 10700}, {11852, 10900}, {11854, 9800}, {11856, 10200}, {11802, 1400}, {11804, 15},
      {11806, 300},   {11808, -20},   {11810, -40},  {11812, 1000},  {11814, 950},  {11844, 80},
      {11576, 3500},  {11578, 20},    {11580, 60},   {11582, 200},   {11584, 1000}, {11586, 1990},
      {11588, 1},     {11836, 980},   {11838, 1020}, {11862, 200},   {11864, 600},  {11858, 1350},
      {11860, 1150},  {11866, 150},   {11868, 500},  {11872, 45},    {11870, 20},   {11816, 1200},
      {11818, 4000},  {11820, 0},     {11822, 80},   {11824, 600},   {11826, 1100}, {11830, 5},
      {11832, 100},   {11828, 500},   {11840, 250},  {11842, 3000},  {11846, 150},  {11848, 50}};
  for (const auto& f : page1) Put(b, static_cast<uint32_t>(f[0]), f[1]);
  b[11834] = 1;                              // CO correction on
  b[11888] = 0, b[11889] = 1, b[11890] = 0;  // traction control: type, on, level
  for (int i = 0; i < 16; ++i) {
    Put(b, 11192 + 2 * i, -100 + 100 * i);                                   // -10.0 .. 140.0 C
    Put(b, 11160 + 2 * i, std::max(0, (set == 2 ? 2600 : 2400) - 150 * i));  // pre-injection, less when warm
  }
  // Page 2: filters, curves, speed and temperature tables.
  const int page2[][2] = {{11696, 4}, {11698, 8}, {11700, 5}, {11702, 100},  {11704, 80},
                          {11590, 4}, {11592, 8}, {11594, 5}, {11596, 2000}, {11598, 1500}};
  for (const auto& f : page2) Put(b, static_cast<uint32_t>(f[0]), f[1]);
  for (uint32_t base : {11706u, 11722u, 11600u, 11616u}) {
    for (int i = 0; i < 8; ++i) {
      Put(b, base + 2 * i, 20 + 60 * i);        // thresholds 2.0 .. 44.0
      Put(b, base + 32 + 2 * i, 150 - 10 * i);  // gains 1.50 .. 0.80
      Put(b, base + 64 + 2 * i, 900 - 50 * i);  // decays 0.900 .. 0.550
    }
  }
  for (uint32_t axis : {10840u, 10648u})
    for (int i = 0; i < 32; ++i) Put(b, axis + 2 * i, 800 + 350 * i);
  for (uint32_t row : {10712u, 10776u, 10520u, 10584u, 11480u, 11512u})
    for (int i = 0; i < (row >= 11480 ? 16 : 32); ++i) Put(b, row + 2 * i, 1000);
  for (int i = 0; i < 16; ++i) Put(b, 11544 + 2 * i, -200 + 80 * i);
  // Page 3: a neutral traction-control set with plausible axes.
  const int rpm[16] = {1500, 2500, 3500, 4500, 5500,  6500,  7000,  7500,
                       8000, 8500, 9000, 9500, 10000, 10500, 11000, 11500};
  const int slip[8] = {0, 20, 40, 60, 80, 100, 150, 200};
  for (uint32_t block : {9784u, 10088u}) {
    for (int i = 0; i < 128; ++i) Put(b, block + 2 * i, block == 9784u ? 1000 : 0);
    for (int i = 0; i < 16; ++i) Put(b, block + 256 + 2 * i, rpm[i]);
    for (int i = 0; i < 8; ++i) Put(b, block + 288 + 2 * i, slip[i]);
  }
  for (int r = 0; r < 32; ++r) {
    Put(b, 11892 + 14 * r, 1000);
    Put(b, 11892 + 14 * r + 2, 1000);
  }
}

}  // namespace sim
