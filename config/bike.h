// The bike catalogue and the capability flags that follow from the bike code.
#pragma once
#include <cstdint>
#include <string>

namespace config {

inline constexpr uint32_t kBikeNotSet = 0xFF0000;

// The bike tables, as lookups: szTypeBike(family, 0) is the family name,
// szTypeBike(family, 1 + m) the name of model m; szYear(2) is "2002" ... szYear(15)
// "2015". Entries outside the filled part are empty texts.
const char* szTypeBike(int family, int entry);
const char* szYear(int year);

// The fourteen capability flags, all 0 at start.
extern uint8_t fTempIsOil, fDoubleInj, fNbego1, fNbego2, fIdling, fOilPress, fAirIsAnalog, fFan1, fFan2,
    fFuelControl, fFuelReserve, fSpeedIn, fDash, fDtc;

// "%s %s (%s)" with the family, model and year names of a bike code.
std::string BikeText(uint32_t bikeCode);
// True when the code is a selectable bike of the catalogue.
bool IsCatalogued(uint32_t bikeCode);
// Sets the flags from the bike code of the working parameter block; an unknown code
// leaves them as they are.
void ConfigFlagBike();
// The same from a given code (ConfigFlagBike reads the block and calls this).
void ConfigFlagBikeCode(uint32_t bikeCode);

}  // namespace config
