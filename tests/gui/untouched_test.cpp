// A value nobody edited goes back as it came: blocks whose every value lies beyond or
// at the edge of the range its page sets are received, every page is visited once, and
// what is sent back, stored and kept as a restore point is the block as it came.
#include "kestra_fixture.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QLocale>
#include <array>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <vector>

#include "canacq/canacq.h"
#include "config/cfgdata.h"
#include "ecudata/ecudata.h"
#include "ecudata/fields.h"
#include "link/bytes.h"
#include "link/utils.h"
#include "live/lineariz.h"
#include "maps/advance.h"
#include "maps/inject.h"
#include "maps/map1.h"
#include "params/param1.h"
#include "params/param2.h"
#include "params/param3.h"
#include "shell/panelswitch.h"

namespace kestra_test {
namespace {

using shell::PageId;

void Put16(std::vector<uint8_t>& b, uint32_t offset, int i, int v) {
  com::Put16LE(b.data() + offset + 2 * i, static_cast<uint16_t>(static_cast<int16_t>(v)));
}

// Every element of a field table set to one of: beyond the top and the bottom of its
// range, the type's extremes, the range's edges, and a raw value finer than the decimals.
void FillFields(std::vector<uint8_t>& block, std::span<const ecu::Field> fields, int seed) {
  int k = seed;
  for (const ecu::Field& f : fields) {
    for (int r = 0; r < f.rows; ++r) {
      for (int c = 0; c < f.cols; ++c, ++k) {
        int64_t raw = 0;
        if (f.kind == ecu::FieldKind::Toggle) {
          raw = k % 2 ? 2 : 0;  // "on", but not the 1 a gather would write
        } else if (f.kind == ecu::FieldKind::Ring) {
          raw = 0xEE;
        } else {
          const int64_t top = ecu::ToRaw(f, f.max), bottom = ecu::ToRaw(f, f.min);
          const int64_t choices[] = {top + 1,
                                     bottom - 1,
                                     ecu::TypeMax(f.type),
                                     ecu::TypeMin(f.type),
                                     top,
                                     bottom,
                                     f.divisor > 1 && f.decimals == 0 ? bottom + 1 : top - 1};
          raw = choices[k % std::size(choices)];
        }
        ecu::SetRaw(block.data(), f, raw, r, c);
      }
    }
  }
}

// The parameter block: configuration, linearisations and CAN identifiers outside their ranges.
std::vector<uint8_t> EdgeParBlock(const std::vector<uint8_t>& start) {
  std::vector<uint8_t> b = start;
  FillFields(b, config::CfgFields(), 0);
  FillFields(b, live::LnrFields(), 3);
  for (int n = 0; n < canacq::kCanFrames; ++n)
    canacq::PutCanWord(b.data(), n, canacq::MakeCanWord(n % 4, n % 2 ? 0x0020 + n : 0x07E0 + n));
  return b;
}

// The map block: cells beyond the limits, falling axes, parameter pages and correction
// tables beyond their ranges, one matrix for both cylinders with cylinder 2 different.
std::vector<uint8_t> EdgeMapBlock(const std::vector<uint8_t>& start) {
  std::vector<uint8_t> b = start;
  FillFields(b, params::Pr1Fields(), 1);
  FillFields(b, params::Pr2Fields(), 2);
  FillFields(b, params::Pr3Fields(), 5);
  for (int id = 1; id <= maps::kMapCount; ++id) {
    for (int plane = 0; plane < maps::MapPlanes(id); ++plane) {
      maps::MapPlace p;
      if (!maps::GetMapPlace(id, plane, &p)) continue;
      for (int i = 0; i < maps::kMapCells; ++i) {
        static const int kCells[] = {32767, -32768, 30001, -1, 0, 12345};
        Put16(b, p.matrix, i, kCells[(i + plane + id) % std::size(kCells)]);
      }
      for (int c = 0; c < maps::kMapCols; ++c) Put16(b, p.xAxis, c, 16000 - 500 * c + (c % 3) * 900);
      for (int r = 0; r < maps::kMapRows; ++r)
        Put16(b, p.yAxis, r, id <= 4 ? maps::bpMapThrottle[r] : 900 - 40 * r);
    }
  }
  for (const maps::CorrEditor* e : {&maps::InjEditor(), &maps::AdvEditor()}) {
    for (const maps::CorrCurve& k : e->curves) {
      for (int i = 0; i < k.points; ++i) {
        Put16(b, k.axis, i, static_cast<int>(k.axisMax * k.axisScale) + 100 - 30 * i);
        Put16(b, k.values, i, i % 2 ? 32767 : static_cast<int>(k.valueMin * k.valueScale) - 1);
      }
    }
    const maps::CorrUserMap& u = e->user;
    for (int i = 0; i < maps::kUserCols; ++i) Put16(b, u.xAxis, i, 30000 - 1000 * i);
    for (int j = 0; j < maps::kUserRows; ++j) Put16(b, u.yAxis, j, -100 * j);
    for (int cyl = 0; cyl < 2; ++cyl)
      for (int i = 0; i < maps::kUserRows * maps::kUserCols; ++i)
        Put16(b, u.matrix[cyl], i, (i + cyl) % 2 ? 32767 : -32768);
  }
  b[maps::kSingleMatrixOffset] |= 1;
  return b;
}

// The stamps a store writes, so that a store of an unedited block writes it byte for byte.
void Stamp(std::vector<uint8_t>& b, int type) {
  com::SetFieldText(b.data() + ecu::kAppStampOffset, ecu::kStampSize, ecu::AppVersionText());
  com::SetFieldText(b.data() + ecu::kDataStampOffset, ecu::kStampSize, ecu::DataVersionText(type));
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray all = f.readAll();
  return {all.begin(), all.end()};
}

// Offsets where two blocks differ (the first few), for a readable failure.
std::string Differences(const uint8_t* a, const std::vector<uint8_t>& b) {
  std::string out;
  int shown = 0;
  for (size_t i = 0; i < b.size() && shown < 12; ++i)
    if (a[i] != b[i]) {
      out += " @" + std::to_string(i) + ":" + std::to_string(a[i]) + "!=" + std::to_string(b[i]);
      ++shown;
    }
  return out.empty() ? "none" : out;
}

class UntouchedTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    ASSERT_TRUE(data_.isValid());
    previousData_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    par_ = EdgeParBlock(device.parBlock);
    map_ = EdgeMapBlock(device.mapping[0]);
    Stamp(par_, ecu::kParType);
    Stamp(map_, ecu::kMapType);
    device.parBlock = par_;
    device.mapping[0] = map_;
  }
  void TearDown() override {
    qputenv("XDG_DATA_HOME", previousData_);
    KestraWindowTest::TearDown();
  }

  void Command(QPushButton* button, const char* answer) {
    AnswerDialog(answer);
    Click(button);
  }

  // Every page in front once, the way the buttons bring them.
  void VisitEveryPage() {
    for (PageId page : {PageId::MapEditor, PageId::Injection, PageId::Advance, PageId::Param1, PageId::Param2,
                        PageId::Param3, PageId::Lineariz, PageId::CanAcq, PageId::Config, PageId::Diagnostics,
                        PageId::Live, PageId::Main}) {
      window->Switcher().SwitchTo(page);
      QApplication::processEvents();
    }
    for (int id = 1; id <= maps::kMapCount; ++id) {
      window->Switcher().SwitchTo(PageId::MapEditor);
      maps::idCurMap = static_cast<uint8_t>(id);
      window->Pages().Find(PageId::MapEditor)->Scatter();
      window->Switcher().SwitchTo(PageId::Main);
    }
    maps::idCurMap = 1;
  }

  void ExpectBlock(const uint8_t* got, const std::vector<uint8_t>& want, const char* what) {
    ASSERT_EQ(want.size(), want.size());
    EXPECT_EQ(std::memcmp(got, want.data(), want.size()), 0) << what << Differences(got, want);
  }

  QTemporaryDir data_;
  QByteArray previousData_;
  std::vector<uint8_t> par_, map_;
};

TEST_F(UntouchedTest, ReceiveSendStoreAndLoadKeepEveryUneditedByte) {
  Start();
  ASSERT_TRUE(Connect());
  Command(F().CBreceive, "CBconfiguration");
  Command(F().CBreceive, "CBmapping1");
  ExpectBlock(ecu::ecuParData, par_, "received configuration");
  ExpectBlock(ecu::ecuMapData, map_, "received mapping");

  VisitEveryPage();
  // Such a value is marked where it is shown.
  int marked = 0;
  for (auto* box : window->Pages().Find(PageId::Param1)->Widget()->findChildren<QDoubleSpinBox*>())
    if (box->toolTip().startsWith("outside the range this page sets: ")) ++marked;
  EXPECT_GT(marked, 0);
  // A picture of the marks, when KESTRA_SHOT_DIR names a folder.
  if (const QString dir = qEnvironmentVariable("KESTRA_SHOT_DIR"); !dir.isEmpty()) {
    window->resize(1500, 950);
    window->show();
    for (PageId page : {PageId::Param1, PageId::Injection, PageId::MapEditor}) {
      window->Switcher().SwitchTo(page);
      QApplication::processEvents();
      window->grab().save(QStringLiteral("%1/outside-range-%2.png").arg(dir).arg(static_cast<int>(page)));
    }
    window->Switcher().SwitchTo(PageId::Main);
  }
  ExpectBlock(ecu::ecuParData, par_, "configuration after every page");
  ExpectBlock(ecu::ecuMapData, map_, "mapping after every page");

  // Receive -> Send with no edit: the ECU gets its own blocks back.
  device.parBlock.assign(par_.size(), 0);
  device.mapping[0].assign(map_.size(), 0);
  Command(F().CBsend, "CBconfiguration");
  Command(F().CBsend, "CBmapping1");
  ExpectBlock(device.parBlock.data(), par_, "configuration sent");
  ExpectBlock(device.mapping[0].data(), map_, "mapping sent");

  // Receive -> Store: the files hold the received blocks.
  io.files.push_back({com::FileSelect::New, Path("edge.ecd")});
  Command(F().CBstore, "CBconfiguration");
  io.files.push_back({com::FileSelect::New, Path("edge.emd")});
  Command(F().CBstore, "CBmapping");
  std::vector<uint8_t> file = FileBytes(Path("edge.ecd"));
  ASSERT_EQ(file.size(), par_.size());
  ExpectBlock(file.data(), par_, "configuration stored");
  file = FileBytes(Path("edge.emd"));
  ASSERT_EQ(file.size(), map_.size());
  ExpectBlock(file.data(), map_, "mapping stored");

  // Load -> Store, with every page visited between.
  io.files.push_back({com::FileSelect::Existing, Path("edge.emd")});
  Command(F().CBload, "CBmapping");
  VisitEveryPage();
  io.files.push_back({com::FileSelect::New, Path("again.emd")});
  Command(F().CBstore, "CBmapping");
  file = FileBytes(Path("again.emd"));
  ASSERT_EQ(file.size(), map_.size());
  ExpectBlock(file.data(), map_, "mapping loaded and stored");
  for (const Event& e : io.log)
    EXPECT_TRUE(e.kind == "dialog" || e.kind == "file" || e.text == "Done!")
        << e.kind << " " << e.title << ": " << e.text;
}

TEST_F(UntouchedTest, RestorePointHoldsTheBlockAsItWasBeforeTheReceive) {
  Start();
  ASSERT_TRUE(Connect());
  Command(F().CBreceive, "CBmapping1");
  VisitEveryPage();
  // One edit, never stored: the next Receive keeps the block as it was, edit and all.
  window->Switcher().SwitchTo(PageId::MapEditor);
  ecu::ecuMapData[maps::kNotesOffset] = 'N';
  window->Pages().Find(PageId::MapEditor)->Scatter();
  std::vector<uint8_t> expected = map_;
  expected[maps::kNotesOffset] = 'N';
  Command(F().CBreceive, "CBmapping1");
  const QDir restore(data_.path() + "/kestra/restore");
  const QStringList kept = restore.entryList(QDir::Files);
  ASSERT_EQ(kept.size(), 1);
  const std::vector<uint8_t> file = FileBytes(restore.filePath(kept[0]).toStdString());
  ASSERT_EQ(file.size(), expected.size());
  ExpectBlock(file.data(), expected, "restore point");
}

// Run by ctest under a decimal-comma locale: the desktop says "12,5", the program "12.5".
TEST(DecimalCommaDesktop, NumbersKeepTheirPoint) {
  if (!qgetenv("LC_ALL").startsWith("de_DE")) GTEST_SKIP() << "ctest runs this with LC_ALL=de_DE.UTF-8";
  EXPECT_EQ(QLocale::system().decimalPoint(), QStringLiteral(","));
  locale_t de = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  ASSERT_NE(de, static_cast<locale_t>(0)) << "the locale is not generated (scripts/install-deps does it)";
  freelocale(de);
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 12.5);
  EXPECT_STREQ(text, "12.5");
  EXPECT_EQ(QLocale().toString(12.5), QStringLiteral("12.5"));
  EXPECT_EQ(com::FixedText(-1.25, 2), "-1.25");
}

}  // namespace
}  // namespace kestra_test
