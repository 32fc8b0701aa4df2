// Working data image services: version stamps, reference copies and change
// detection, the bike-type check between the two blocks.
#pragma once
#include <cstdint>
#include <string>

#include "ecudata/image.h"

namespace ecu {

// Application and data-version stamps (type 1 parameter block, 2 map block).
std::string AppVersionText();           // "Kestra v1.3"
const char* DataVersionText(int type);  // "Q740_PAR_DATA_v1.00", "Q740_MAP_DATA_v1.00", "" otherwise
void GenerateAppVersion(int type);      // stamp at offset 0
void GenerateDataVersion(int type);     // stamp at offset 32
// Checks of a freshly loaded block (as it lies in `block`); they show their pop-ups.
// CheckAppVersion only warns and returns 1; CheckDataVersion returns 0 on a mismatch.
uint8_t CheckAppVersion(int type, const uint8_t* block);
uint8_t CheckDataVersion(int type, const uint8_t* block);

void CopyEcuRefData(int type);
void InitEcuRefData();
uint8_t IsEcuDataChanged(int type);
// 1 when nothing changed or the user confirms leaving without saving.
uint8_t DiscardNewEcuData();

// Bike type words of the working blocks.
uint32_t GetBikeWord(int type);
void SetBikeWord(int type, uint32_t word);
// Mode 0 (lenient): equal, or either family 255; mode 1 (strict): equal only.
uint8_t CheckTypeBike(int mode);

// When the strict check fails: the "Align type bike" question of stores and uploads,
// with the two bike texts as buttons; type is the block being written (1 the
// parameter block, anything else the map block). The parameter block takes the map
// block's word on the second button, the map block the parameter block's word on the
// first. Returns 1 when a bike word was changed.
uint8_t AlignTypeBike(int type);
// The "Check type bike" warning after a load or download; shown only when the
// lenient check fails.
void WarnTypeBike();

}  // namespace ecu
