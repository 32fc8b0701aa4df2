#include "ecudata/defaults.h"

#include "canacq/canacq.h"
#include "config/cfgdata.h"
#include "ecudata/image.h"
#include "live/lineariz.h"
#include "maps/advance.h"
#include "maps/inject.h"
#include "maps/map1.h"
#include "params/param1.h"
#include "params/param2.h"
#include "params/param3.h"

namespace ecu {

void InitConfigurationDefaults() {
  canacq::InitCaqData(ecuParData);
  config::InitCfgData(ecuParData);
  live::InitLnrData(ecuParData);
}

void InitMappingDefaults() {
  for (int id = 1; id <= maps::kMapCount; ++id) maps::InitMp1Data(id);
  maps::InitInjData(ecuMapData);
  maps::InitAdvData(ecuMapData);
  params::InitPr1Data();
  params::InitPr2Data();
  params::InitPr3Data();
}

void InitStartupDefaults() {
  InitMappingDefaults();
  InitConfigurationDefaults();
}

}  // namespace ecu
