#include "maps/advance.h"

namespace maps {

const CorrEditor& AdvEditor() {
  static const CorrEditor editor{
      "Advance",
      "Edit Advance",
      {
          {"TABkaTair", 11224, 11256, 16, 10, 1, -30, 150, 10, 1, -720, 720, 0, 0, CurveShow::Always},
          {"TABkaTh2o", 11288, 11320, 16, 10, 1, -30, 250, 10, 1, -720, 720, 0, 0, CurveShow::Water},
          {"TABkaToil", 11352, 11384, 16, 10, 1, -30, 250, 10, 1, -720, 720, 0, 0, CurveShow::Oil},
          {"TABkaPbaro", 11416, 11448, 16, 1, 0, 0, 10000, 10, 1, -720, 720, 0, 1000, CurveShow::Always},
      },
      {{"TABmapKaUserCyl1", "TABmapKaUserCyl2"},
       {9224, 9480},
       9736,
       9768,
       1,
       0,
       20000,
       10,
       0,
       100,
       0,
       1,
       10,
       1,
       -720,
       720,
       0},
      {{{-90.0, 90.0, 1, "[°]"}, {-30.0, 30.0, 1, "[°]"}, {-100.0, 100.0, 1, "[%]"}}},
  };
  return editor;
}

void InitAdvData(uint8_t* block) {
  InitCorrData(AdvEditor(), block);
}

}  // namespace maps
