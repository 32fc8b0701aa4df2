// What the shell asks of map tuning. Until map tuning exists these answer as if
// no tuning ever runs: a manual tuning may always end, no map tuning is active,
// and the tuning status from the identity record is not kept.
#pragma once
#include <cstdint>

namespace tuning {

// 1 when a running manual tuning may end (or none runs); 0 keeps it running.
uint8_t AbortManualTuning();
// 1 while map tuning runs on the ECU.
uint8_t IsMapTuning();
// Status bits of the identity record: protected, bit 6, bit 5.
void SetTuneStatusInfo(uint8_t isProtected, uint8_t bit6, uint8_t bit5);

}  // namespace tuning
