#include "shell/tuninghooks.h"

namespace tuning {

uint8_t AbortManualTuning() {
  return 1;
}
uint8_t IsMapTuning() {
  return 0;
}
void SetTuneStatusInfo(uint8_t, uint8_t, uint8_t) {}

}  // namespace tuning
