// Parameter pages 1-3 (model): the field tables against the block layout, the checks
// of each page, the CO-correction reset with the simulated ECU, and the DTC map files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "config/bike.h"
#include "ecudata/fields.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/pipeport.h"
#include "params/param1.h"
#include "params/param2.h"
#include "params/param3.h"
#include "scripted_ui.h"
#include "sim/appsim.h"
#include "sim/simcore.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ecu::Field;

const Field& F(std::span<const Field> fields, const char* control) {
  const Field* f = ecu::FindField(fields, control);
  EXPECT_NE(f, nullptr) << control;
  return *f;
}
int64_t Raw1(const char* control) {
  return ecu::GetRaw(ecu::ecuMapData, F(params::Pr1Fields(), control));
}
void Set1(const char* control, int64_t raw) {
  ecu::SetRaw(ecu::ecuMapData, F(params::Pr1Fields(), control), raw);
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class ParamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
    char tmpl[] = "/tmp/kestra-params.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    params::SetDtcSystemDirectory("");
    std::filesystem::remove_all(dir);
  }
  Bytes Block() const { return Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize); }

  std::string dir;
  testing_ui::ScriptedUi ui;
};

// Every 16-bit field lies in the swapped 16-bit runs of the map block and every byte
// field outside them, and no two fields of the three pages share a byte: an offset
// typo in a table shows here.
TEST_F(ParamsTest, TablesFitTheBlockLayout) {
  std::vector<int> width(ecu::kMapSize, 0), owner(ecu::kMapSize, 0);
  for (const ecu::SwapRun& run : ecu::ByteOrderTable(ecu::kMapType))
    for (uint32_t i = 0; i < run.count; ++i)
      for (uint32_t b = 0; b < run.width; ++b) width[run.offset + i * run.stride + b] = run.width;
  int page = 0;
  for (auto fields : {params::Pr1Fields(), params::Pr2Fields(), params::Pr3Fields()}) {
    ++page;
    for (const Field& f : fields) {
      for (int r = 0; r < f.rows; ++r)
        for (int c = 0; c < f.cols; ++c) {
          const uint32_t at = ecu::ElementOffset(f, r, c);
          const size_t size = ecu::TypeSize(f.type);
          ASSERT_LE(at + size, ecu::kMapSize) << f.control;
          for (size_t b = 0; b < size; ++b) {
            EXPECT_EQ(width[at + b], size == 1 ? 0 : static_cast<int>(size)) << f.control << " at " << at;
            EXPECT_EQ(owner[at + b], 0) << f.control << " at " << at << " overlaps page " << owner[at + b];
            owner[at + b] = page;
          }
        }
      EXPECT_GE(ecu::ToShown(f, f.defaultRaw), f.min) << f.control;
      EXPECT_LE(ecu::ToShown(f, f.defaultRaw), f.max) << f.control;
    }
  }
}

TEST_F(ParamsTest, DefaultsOfTheThreePages) {
  std::memset(ecu::ecuMapData, 0x5A, ecu::kMapSize);
  params::InitPr1Data();
  params::InitPr2Data();
  params::InitPr3Data();
  const struct {
    uint32_t offset;
    int value;
  } expected[] = {{11812, 1000}, {11584, 1000},      {11586, 2000},
                  {11588, 1},    {11858, 1000},      {11828, 100},
                  {11840, 250},  {11842, 3000},      {11846, 150},
                  {11848, 50},   {11850, 0},         {11696, 1},
                  {11698, 1},    {11590, 1},         {11786, 0},
                  {9784, 1000},  {9784 + 254, 1000}, {10088, 0},
                  {11892, 1000}, {11894, 1000},      {11892 + 31 * 14 + 2, 1000}};
  for (const auto& e : expected) EXPECT_EQ(com::Get16LE(ecu::ecuMapData + e.offset), e.value) << e.offset;
  EXPECT_EQ(ecu::ecuMapData[11889], 1);  // traction control enabled
  EXPECT_EQ(ecu::ecuMapData[11888], 0);
  EXPECT_EQ(ecu::ecuMapData[11892 + 4], 0);
  EXPECT_EQ(ecu::ecuMapData[11892 + 13], 0x5A);  // the spare byte of a level record is not touched
}

TEST_F(ParamsTest, ShiftLightCorrections) {
  const struct {
    int limA, limJ, light1, light2;
    int want1, want2;
    bool changed;
  } cases[] = {
      {11000, 12000, 9000, 11000, 9000, 10950, true},    // at the advance limit
      {11000, 10500, 10600, 11200, 10400, 10450, true},  // injection limit lower still; light 1 follows
      {11000, 12000, 10950, 10950, 10900, 10950, true},  // light 1 not below light 2
      {11000, 12000, 9000, 10000, 9000, 10000, false},   // nothing to do
      {0, 0, 0, 0, 0, 0, false},                         // limits off: never below the range
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.light2);
    params::InitPr1Data();
    Set1("NUMlimArpm", c.limA);
    Set1("NUMlimJrpm", c.limJ);
    Set1("NUMlimShiftLight1", c.light1);
    Set1("NUMlimShiftLight2", c.light2);
    EXPECT_EQ(params::CheckPr1Values(), c.changed ? 1 : 0);
    EXPECT_EQ(Raw1("NUMlimShiftLight1"), c.want1);
    EXPECT_EQ(Raw1("NUMlimShiftLight2"), c.want2);
  }
}

TEST_F(ParamsTest, Page1RepairsInTheirOrder) {
  params::InitPr1Data();
  // Pre-injection: point 3 below point 2 takes point 2's temperature and value; point 4
  // (now compared with the repaired point 3) stays.
  const int temps[16] = {-100, 0, 200, 150, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200, 1300, 1400};
  for (int i = 0; i < 16; ++i) {
    com::Put16LE(ecu::ecuMapData + params::kPreInjTemp + 2 * i, static_cast<uint16_t>(temps[i]));
    com::Put16LE(ecu::ecuMapData + params::kPreInjValue + 2 * i, static_cast<uint16_t>(2000 - 100 * i));
  }
  EXPECT_EQ(params::CheckPr1Values(), 1);
  EXPECT_EQ(static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + params::kPreInjTemp + 6)), 200);
  EXPECT_EQ(com::Get16LE(ecu::ecuMapData + params::kPreInjValue + 6), 1800);
  EXPECT_EQ(com::Get16LE(ecu::ecuMapData + params::kPreInjValue + 8), 1600);
  EXPECT_EQ(params::CheckPr1Values(), 0);

  // Idle: temperature 2 below temperature 1 takes it and idle speed 1.
  Set1("NUMidlingTh2o_oil1", 600);
  Set1("NUMidlingTh2o_oil2", -100);
  Set1("NUMidlingRpm1", 1300);
  Set1("NUMidlingRpm2", 1100);
  // The unshown pair: 11846 is kept at least at 11848.
  Set1("map11846", 20);
  Set1("map11848", 60);
  // CO bounds: rpm and throttle compare unsigned (40000 > 1000), temperature signed.
  Set1("NUMcocRpmInf", 40000);
  Set1("NUMcocRpmSup", 1000);
  Set1("NUMcocGasInf", 50);
  Set1("NUMcocGasSup", 40);
  Set1("NUMcocTh2o_oilInf", 100);
  Set1("NUMcocTh2o_oilSup", -50);
  EXPECT_EQ(params::CheckPr1Values(), 1);
  EXPECT_EQ(Raw1("NUMidlingTh2o_oil2"), 600);
  EXPECT_EQ(Raw1("NUMidlingRpm2"), 1300);
  EXPECT_EQ(Raw1("map11846"), 60);
  EXPECT_EQ(Raw1("NUMcocRpmSup"), 40000);
  EXPECT_EQ(Raw1("NUMcocGasSup"), 50);
  EXPECT_EQ(Raw1("NUMcocTh2o_oilSup"), 100);

  // A negative temperature bound below a positive one is a real inversion only when signed.
  Set1("NUMcocTh2o_oilInf", -100);
  Set1("NUMcocTh2o_oilSup", 200);
  EXPECT_EQ(params::CheckPr1Values(), 0);
}

TEST_F(ParamsTest, NegativeFanThresholdsComeBackAsEntered) {
  for (const char* fan : {"NUMvalFan1", "NUMvalFan2"}) {
    const Field& f = F(params::Pr1Fields(), fan);
    ecu::SetShown(ecu::ecuMapData, f, -12.5);
    EXPECT_DOUBLE_EQ(ecu::GetShown(ecu::ecuMapData, f), -12.5) << fan;
    ecu::SetShown(ecu::ecuMapData, f, 250.0);
    EXPECT_DOUBLE_EQ(ecu::GetShown(ecu::ecuMapData, f), 250.0) << fan;
  }
}

TEST_F(ParamsTest, Page2ThresholdsAndAxesTakeTheWholeColumn) {
  params::InitPr2Data();
  auto set = [](uint32_t offset, int i, int v) {
    com::Put16LE(ecu::ecuMapData + offset + 2 * i, static_cast<uint16_t>(v));
  };
  auto get = [](uint32_t offset, int i) {
    return static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + offset + 2 * i));
  };
  // Positive advance curve: threshold 3 below threshold 2.
  for (int i = 0; i < 8; ++i) {
    set(11706, i, 100 * i);
    set(11738, i, 10 + i);
    set(11770, i, 500 + i);
  }
  set(11706, 3, 50);
  // Injection speed axis: point 5 below point 4; injection temperature axis: point 1 below point 0.
  for (int i = 0; i < 32; ++i) {
    set(10648, i, 1000 + 300 * i);
    set(10520, i, 900 + i);
    set(10584, i, 1100 + i);
  }
  set(10648, 5, 100);
  set(11544, 0, 200);
  set(11544, 1, -100);
  set(11480, 0, 777);
  set(11512, 0, 888);
  EXPECT_EQ(params::CheckPr2Values(), 1);
  EXPECT_EQ(get(11706, 3), 200);
  EXPECT_EQ(get(11738, 3), 12);
  EXPECT_EQ(get(11770, 3), 502);
  EXPECT_EQ(get(11706, 4), 400);  // the next step was in order and stays
  EXPECT_EQ(get(11738, 4), 14);
  EXPECT_EQ(get(10648, 5), 2200);
  EXPECT_EQ(get(10520, 5), 904);
  EXPECT_EQ(get(10584, 5), 1104);
  EXPECT_EQ(get(11544, 1), 200);
  EXPECT_EQ(get(11480, 1), 777);
  EXPECT_EQ(get(11512, 1), 888);
  EXPECT_EQ(params::CheckPr2Values(), 0);
}

TEST_F(ParamsTest, DtcColumnAndRowRepair) {
  params::InitPr3Data();
  for (uint32_t block : {params::kDtcKjBlock, params::kDtcKaBlock}) {
    SCOPED_TRACE(block);
    uint8_t* b = ecu::ecuMapData + block;
    for (int c = 0; c < 16; ++c) com::Put16LE(b + 256 + 2 * c, static_cast<uint16_t>(1000 * (c + 1)));
    for (int r = 0; r < 8; ++r) com::Put16LE(b + 288 + 2 * r, static_cast<uint16_t>(20 * r));
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 16; ++c) com::Put16LE(b + 2 * (16 * r + c), static_cast<uint16_t>(-(r * 16 + c)));
    com::Put16LE(b + 256 + 2 * 6, 500);  // column point 6 below point 5
    com::Put16LE(b + 288 + 2 * 2, 10);   // row point 2 below row point 1
    EXPECT_EQ(params::CheckPr3Values(), 1);
    EXPECT_EQ(com::Get16LE(b + 256 + 12), 6000);
    EXPECT_EQ(com::Get16LE(b + 288 + 4), 20);
    for (int r = 0; r < 8; ++r) {
      // Column 6 holds column 5 (row 2 then row 1 as a whole, after the column repair).
      const int srcRow = r == 2 ? 1 : r;
      EXPECT_EQ(static_cast<int16_t>(com::Get16LE(b + 2 * (16 * r + 6))), -(srcRow * 16 + 5)) << r;
    }
    for (int c = 0; c < 16; ++c)
      EXPECT_EQ(com::Get16LE(b + 2 * (16 * 2 + c)), com::Get16LE(b + 2 * (16 * 1 + c))) << c;
    EXPECT_EQ(params::CheckPr3Values(), 0);
  }
}

// --- CO-correction reset against the simulated ECU -------------------------------------

class ResetCocTest : public ParamsTest {
 protected:
  void SetUp() override {
    ParamsTest::SetUp();
    com::SetPortFactory([this](const com::PortItem&, std::string*) {
      auto p = std::make_unique<com::PipePort>();
      sim::AttachToPipe(engine, *p);
      return p;
    });
    com::CloseComPort();
    com::InitPortList({}, false);
  }
  void TearDown() override {
    com::CloseComPort();
    com::SetPortFactory({});
    ParamsTest::TearDown();
  }
  sim::AppDevice device;
  sim::Engine engine{device};
};

TEST_F(ResetCocTest, TwoStepsAndTheirFailures) {
  EXPECT_EQ(params::ResetCoc(), 0);  // link closed
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "CO-correction");
  EXPECT_EQ(ui.popups[0].text, "COMM error...");
  EXPECT_EQ(device.received[18], 0);

  com::OpenComPort();
  ASSERT_EQ(com::isComOpen, 1);
  ui.popups.clear();
  EXPECT_EQ(params::ResetCoc(), 1);
  EXPECT_TRUE(ui.popups.empty());
  EXPECT_EQ(device.cocResetSteps, (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(device.cocResets, 1);

  // Step 1 unanswered: step 2 is not sent.
  device.cocResetSteps.clear();
  device.handlers[18] = [this](const uint8_t* payload, uint8_t) {
    device.cocResetSteps.push_back(payload[0]);
    sim::Device::Reply reply;
    reply.send = payload[0] != 1;
    return reply;
  };
  EXPECT_EQ(params::ResetCoc(), 0);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "CO-correction");
  EXPECT_EQ(ui.popups[0].text, "Some error occurred...");
  EXPECT_EQ(device.cocResetSteps, (std::vector<uint8_t>{1}));
}

// --- DTC map files -----------------------------------------------------------------------

TEST_F(ParamsTest, PresetOfTypeTwoReplacesTheWholeSetAtOnce) {
  params::SetDtcSystemDirectory(DTC_PRESET_DIR);
  params::InitPr3Data();
  Bytes before = Block();
  int scatters = 0;
  EXPECT_EQ(params::LoadDTCmap(0, 2, [&] { return uint8_t(++scatters); }), 1);
  EXPECT_EQ(scatters, 1);
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_TRUE(ui.popups.empty());
  const Bytes file = ReadAll(std::string(DTC_PRESET_DIR) + "/sbk1198.fdt");
  ASSERT_EQ(file.size(), 1056u);
  EXPECT_EQ(Bytes(ecu::ecuMapData + 9784, ecu::ecuMapData + 10392), Bytes(file.begin(), file.begin() + 608));
  EXPECT_EQ(Bytes(ecu::ecuMapData + 11892, ecu::ecuMapData + 12340), Bytes(file.begin() + 608, file.end()));
  // Nothing else of the block moved.
  Bytes after = Block();
  std::copy(before.begin() + 9784, before.begin() + 10392, after.begin() + 9784);
  std::copy(before.begin() + 11892, before.begin() + 12340, after.begin() + 11892);
  EXPECT_EQ(after, before);
}

TEST_F(ParamsTest, PresetsAreWellFormed) {
  // Each preset: ascending axes, cells in range, "undefined" neutral, the others
  // cutting more as slip grows.
  const Field* kj = &params::Pr3Fields()[0];
  for (int type : {0, 1, 2, 3}) {
    SCOPED_TRACE(params::DtcPresetName(type));
    const Bytes file = ReadAll(std::string(DTC_PRESET_DIR) + "/" + params::DtcPresetName(type) + ".fdt");
    ASSERT_EQ(file.size(), params::kDtcFileSize);
    std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
    params::DtcFromFile(file.data(), ecu::ecuMapData);
    EXPECT_EQ(params::CheckPr3Values(), 0);
    for (const Field& f : params::Pr3Fields())
      for (int r = 0; r < f.rows; ++r)
        for (int c = 0; c < f.cols; ++c) {
          const double v = ecu::GetShown(ecu::ecuMapData, f, r, c);
          EXPECT_GE(v, f.min) << f.control;
          EXPECT_LE(v, f.max) << f.control;
        }
    const int64_t lowSlip = ecu::GetRaw(ecu::ecuMapData, *kj, 0, 8),
                  highSlip = ecu::GetRaw(ecu::ecuMapData, *kj, 7, 8);
    EXPECT_EQ(lowSlip, 1000);
    if (type == 0) {
      EXPECT_EQ(highSlip, 1000);
    } else {
      EXPECT_LT(highSlip, 1000);
    }
  }
}

TEST_F(ParamsTest, BadDtcFilesLeaveTheBlock) {
  params::SetDtcSystemDirectory(dir);
  params::InitPr3Data();
  const Bytes before = Block();
  const struct {
    const char* name;
    int size;  // -1 none, -2 directory, -3 FIFO
    const char* reason;
  } cases[] = {{"MissingPreset", -1, "cannot be found"},
               {"Short", 1055, "holds 1055 bytes"},
               {"Empty", 0, "holds 0 bytes"},
               {"Directory", -2, "is a folder"},
               {"Fifo", -3, "is not a regular file"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir + "/sbk1098R.fdt";
    std::filesystem::remove_all(path);
    if (c.size >= 0) WriteAll(path, Bytes(static_cast<size_t>(c.size), 0x11));
    if (c.size == -2) {
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    }
    if (c.size == -3) {
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    }
    ui.popups.clear();
    int scatters = 0;
    EXPECT_EQ(params::LoadDTCmap(0, 1, [&] { return uint8_t(++scatters); }), 0);
    EXPECT_EQ(scatters, 0);
    ASSERT_EQ(ui.popups.size(), 1u);
    EXPECT_EQ(ui.popups[0].title, "Load DTC Map");
    EXPECT_EQ(ui.popups[0].text.rfind("Some error occurred...", 0), 0u);
    EXPECT_NE(ui.popups[0].text.find(c.reason), std::string::npos) << ui.popups[0].text;
    EXPECT_EQ(Block(), before);
  }
  // The same through the dialog: a file that is not there.
  ui.popups.clear();
  ui.files.push_back({com::FileSelect::Error, dir + "/nothing.fdt"});
  EXPECT_EQ(params::LoadDTCmap(1, 0, nullptr), 0);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.dialogs.back().title, "Load DTC Map");
  EXPECT_EQ(ui.dialogs.back().proposal, "*.fdt");
  EXPECT_EQ(Block(), before);
  // Cancelled: nothing happens, nothing is said.
  ui.popups.clear();
  EXPECT_EQ(params::LoadDTCmap(1, 0, nullptr), 1);
  EXPECT_TRUE(ui.popups.empty());
}

TEST_F(ParamsTest, LongerFileIsReadForItsFirst1056Bytes) {
  Bytes file(1500);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7);
  const std::string path = dir + "/long.fdt";
  WriteAll(path, file);
  ui.files.push_back({com::FileSelect::Existing, path});
  EXPECT_EQ(params::LoadDTCmap(1, 0, nullptr), 1);
  EXPECT_TRUE(ui.popups.empty());
  Bytes got(params::kDtcFileSize);
  params::DtcToFile(ecu::ecuMapData, got.data());
  EXPECT_EQ(got, Bytes(file.begin(), file.begin() + 1056));
}

TEST_F(ParamsTest, StoreForcesTheExtensionAndRoundTrips) {
  params::SetDtcSystemDirectory(dir);
  params::InitPr3Data();
  for (int i = 0; i < 608; i += 2) com::Put16LE(ecu::ecuMapData + 9784 + i, static_cast<uint16_t>(i));
  ecu::ecuMapData[11892 + 13] = 0x42;  // the spare byte travels with its record
  int gathers = 0;
  ui.files.push_back({com::FileSelect::New, dir + "/track"});
  EXPECT_EQ(params::StoreDTCmap([&] { return uint8_t(++gathers); }), 1);
  EXPECT_EQ(gathers, 1);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].title, "Store DTC Map");
  EXPECT_TRUE(ui.dialogs[0].save);
  EXPECT_EQ(ui.dialogs[0].directory, dir);
  EXPECT_EQ(ui.dialogs[0].proposal, "*.fdt");
  const Bytes stored = ReadAll(dir + "/track.fdt");
  ASSERT_EQ(stored.size(), 1056u);
  EXPECT_EQ(stored[608 + 13], 0x42);

  const Bytes before = Block();
  params::InitPr3Data();
  ui.files.push_back({com::FileSelect::Existing, dir + "/track.fdt"});
  EXPECT_EQ(params::LoadDTCmap(1, 0, nullptr), 1);
  EXPECT_EQ(Block(), before);

  // Another extension is replaced.
  ui.files.push_back({com::FileSelect::New, dir + "/road.bin"});
  EXPECT_EQ(params::StoreDTCmap(nullptr), 1);
  EXPECT_EQ(ReadAll(dir + "/road.fdt").size(), 1056u);
  EXPECT_TRUE(ui.popups.empty());
}

TEST_F(ParamsTest, FailedStoreKeepsThePreviousFile) {
  const std::string path = dir + "/keep.fdt";
  const Bytes previous(1056, 0x77);
  WriteAll(path, previous);
  params::InitPr3Data();

  // The write fails half way (file size limit): the old file stays whole.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 500;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ui.files.push_back({com::FileSelect::Existing, path});
  const uint8_t rc = params::StoreDTCmap(nullptr);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadAll(path), previous);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Store DTC Map");
  EXPECT_EQ(ui.popups[0].text.rfind("Some error occurred...", 0), 0u);

  // A folder or a FIFO under the name is refused, and stays what it was.
  for (bool fifo : {false, true}) {
    const std::string odd = dir + (fifo ? "/pipe.fdt" : "/folder.fdt");
    ASSERT_EQ(fifo ? mkfifo(odd.c_str(), 0644) : mkdir(odd.c_str(), 0755), 0);
    ui.popups.clear();
    ui.files.push_back({com::FileSelect::Existing, odd});
    EXPECT_EQ(params::StoreDTCmap(nullptr), 0);
    ASSERT_EQ(ui.popups.size(), 1u);
    struct stat st {};
    ASSERT_EQ(stat(odd.c_str(), &st), 0);
    EXPECT_TRUE(fifo ? S_ISFIFO(st.st_mode) : S_ISDIR(st.st_mode));
  }

  // A page that cannot be read is not stored.
  ui.popups.clear();
  const size_t dialogs = ui.dialogs.size();
  EXPECT_EQ(params::StoreDTCmap([] { return uint8_t{0}; }), 0);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.dialogs.size(), dialogs);
}

}  // namespace
