#include "maps/inject.h"

namespace maps {

const CorrEditor& InjEditor() {
  static const CorrEditor editor{
      "Injection",
      "Edit Injection",
      {
          {"TABkjTair", 10904, 10936, 16, 10, 1, -30, 150, 1000, 3, 0, 2, 1000, 0, CurveShow::Always},
          {"TABkjTh2o", 10968, 11000, 16, 10, 1, -30, 250, 1000, 3, 0, 2, 1000, 0, CurveShow::Water},
          {"TABkjToil", 11032, 11064, 16, 10, 1, -30, 250, 1000, 3, 0, 2, 1000, 0, CurveShow::Oil},
          {"TABkjPbaro", 11096, 11128, 16, 1, 0, 0, 10000, 1000, 3, 0, 2, 1000, 1000, CurveShow::Always},
          {"TABfase", 10392, 10456, 32, 1, 0, 0, 20000, 1, 0, 0, 720, 180, 0, CurveShow::Always},
      },
      {{"TABmapKjUserCyl1", "TABmapKjUserCyl2"},
       {8664, 8920},
       9176,
       9208,
       1,
       0,
       20000,
       10,
       0,
       100,
       0,
       1,
       1000,
       3,
       0,
       2,
       1000},
      {{{0, 2.0, 3, "[k]"}, {-2.0, 2.0, 3, "[k]"}, {-100.0, 100.0, 1, "[%]"}}},
  };
  return editor;
}

void InitInjData(uint8_t* block) {
  InitCorrData(InjEditor(), block);
}

}  // namespace maps
