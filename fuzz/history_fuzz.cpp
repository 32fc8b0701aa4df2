// The history file: any bytes give records that each make one line of their own, and
// that line reads back as the same record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ecudata/history.h"
#include "ecudata/image.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t skipped = 0;
  const auto records = ecu::ParseHistoryText(text, &skipped);
  Check(records.size() + skipped <= size);
  for (const ecu::HistoryRecord& r : records) {
    Check(r.kind != ecu::HistoryKind::RestorePoint);
    Check(r.type == ecu::kParType || r.type == ecu::kMapType);
    Check(!r.path.empty() && r.time >= 0);
    const std::string line = ecu::HistoryRecordLine(r);
    Check(line.find('\n') == line.size() - 1);
    size_t again = 1;
    const auto back = ecu::ParseHistoryText(line, &again);
    Check(back.size() == 1 && again == 0);
    Check(back[0].time == r.time && back[0].kind == r.kind && back[0].type == r.type);
    Check(back[0].path == r.path && back[0].name == r.name);
  }
  return 0;
}
