// Kestra's application identity.
#pragma once
#include <cstdint>

namespace ecu {

inline constexpr const char appName[] = "Kestra";
inline constexpr const char appSubname[] = "Tarvenco";
inline constexpr uint16_t appRelease = 0x0103;
inline constexpr const char appExtra[] = "";
inline constexpr const char parDataVersion[] = "Q740_PAR_DATA_v1.00";
inline constexpr const char mapDataVersion[] = "Q740_MAP_DATA_v1.00";
inline constexpr const char appFwName[] = "Q740";

}  // namespace ecu
