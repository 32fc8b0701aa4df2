// Whole-block transfers with the ECU and small addressed reads and writes.
#pragma once
#include <cstdint>
#include <string>

namespace ecu {

// Area codes on the link.
inline constexpr uint16_t kAreaConfiguration = 1;
inline constexpr uint16_t kAreaMapping1 = 2;
inline constexpr uint16_t kAreaMapping2 = 3;
inline constexpr uint16_t kAreaMapRead = 13;

// Sizes of the single map groups read by RequestEcuMap, bytes: two 20 x 32 tables
// with a 32-entry and a 20-entry axis (ids 1 and 6), or one such table (ids 2 and 7).
inline constexpr uint32_t kMapGroupTwoTables = 2664;
inline constexpr uint32_t kMapGroupOneTable = 1384;
inline constexpr uint32_t kMapGroupMaxBytes = kMapGroupTwoTables;

// type 1 parameter block (area 1), 2 or 3 the map block (area 2 or 3). The caller
// has checked isComOpen. `cursor` is restored after the bike question.
uint8_t SendEcu(int type, int cursor);
// type 1, 2, 3 or 13. A failed download leaves the working block and the name field
// as they were.
uint8_t RequestEcu(int type, int cursor);
// The same read into `block` (BlockSize bytes of the block type) and `*name`, for a
// comparison: neither the working block nor the name field changes, and no restore
// point is kept. A failed read leaves `block` and `*name` as they were.
uint8_t RequestEcuCopy(int type, uint8_t* block, std::string* name);
// One map group (id 1, 2, 6, 7) into `buffer` (1332 or 692 values), converted to
// PC order. A failed read leaves the buffer as it was.
uint8_t RequestEcuMap(int id, uint16_t* buffer);
uint8_t DoGetValues(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t* destination, uint8_t n);
uint8_t DoSendValues(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, const uint8_t* source, uint8_t n);

}  // namespace ecu
