#include "cli/fieldnames.h"

#include "config/cfgdata.h"
#include "ecudata/image.h"
#include "live/lineariz.h"
#include "params/param1.h"
#include "params/param2.h"
#include "params/param3.h"

namespace cli {

std::vector<std::span<const ecu::Field>> FieldTablesOf(int type) {
  if (type == ecu::kMapType) return {params::Pr1Fields(), params::Pr2Fields(), params::Pr3Fields()};
  if (type == ecu::kParType) return {config::CfgFields(), live::LnrFields()};
  return {};
}

std::vector<ecu::NamedTable> NamedTablesOf(int type) {
  if (type == ecu::kMapType)
    return {{"Parameters 1", params::Pr1Fields()},
            {"Parameters 2", params::Pr2Fields()},
            {"Parameters 3", params::Pr3Fields()}};
  if (type == ecu::kParType)
    return {{"Configuration", config::CfgFields()}, {"Linearisations", live::LnrFields()}};
  return {};
}

std::vector<ecu::BlockPart> PartsOf(int type) {
  const std::vector<ecu::NamedTable> tables = NamedTablesOf(type);
  return ecu::BlockParts(type, tables);
}

std::vector<ecu::BlockDifference> DiffNamedBlocks(int type, const uint8_t* a, const uint8_t* b) {
  const std::vector<std::span<const ecu::Field>> tables = FieldTablesOf(type);
  return ecu::DiffBlocks(type, a, b, tables);
}

}  // namespace cli
