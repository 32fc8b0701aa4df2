// The data commands of the Kestra window against the in-process ECU simulator.
#include "kestra_fixture.h"

#include <ostream>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>
#include <cstring>

#include "ecudata/ecudata.h"
#include "link/commands.h"
#include "shell/commands.h"
#include "shell/selectdialogs.h"

namespace kestra_test {
namespace {

bool SameBytes(const uint8_t* a, const uint8_t* b, size_t n) {
  return std::memcmp(a, b, n) == 0;
}

TEST_F(KestraWindowTest, SendWithTheLinkClosedFailsAfterTheSelection) {
  Start();
  // Cancel ends quietly.
  Click(F().CBsend);  // dimmed while the link is closed: nothing happens
  EXPECT_TRUE(io.log.empty());
  AnswerDialog("CBcancel");
  window->Cmds().Send();  // the command itself still checks the link
  ASSERT_EQ(io.log.size(), 1u);
  EXPECT_EQ(io.log[0].kind, "dialog");

  io.log.clear();
  AnswerDialog("CBmapping1");
  window->Cmds().Send();
  ASSERT_EQ(io.log.size(), 2u);
  EXPECT_EQ(io.log[0].kind, "dialog");
  EXPECT_EQ(io.log[0].title, "DlgEcuDataSelection");
  EXPECT_EQ(io.log[1].kind, "message");
  EXPECT_EQ(io.log[1].title, "Send");
  EXPECT_EQ(io.log[1].text, "Some error occurred...");
  EXPECT_EQ(shell::fSending, 0);
  EXPECT_FALSE(F().NSprogressBar->isVisible());
}

TEST_F(KestraWindowTest, CancelledSelectionEndsFileCommandsQuietly) {
  Start();
  for (QPushButton* button : {F().CBload, F().CBstore}) {
    io.log.clear();
    AnswerDialog("CBcancel");
    Click(button);
    ASSERT_EQ(io.log.size(), 1u) << button->objectName().toStdString();
    EXPECT_EQ(io.log[0].kind, "dialog");
    EXPECT_TRUE(io.dialogs.empty());  // no file dialog either
    EXPECT_TRUE(button->isEnabled());
  }
}

TEST_F(KestraWindowTest, SendRefusesFuelControlOnOldHardware) {
  device.identity.hardware = {1, 0, 0, 0};
  Start();
  ASSERT_TRUE(Connect());
  ASSERT_EQ(shell::fOldHwConfig, 1);
  config::fFuelReserve = 1;
  AnswerDialog("CBconfiguration");
  Click(F().CBsend);
  const auto messages = io.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Send");
  EXPECT_EQ(messages[0].text, "The configuration bike selected is not compatible with the ECU hardware!");
  EXPECT_EQ(device.received[com::BeginWrite], 0);
}

struct TransferCase {
  const char* button;  // in the selection dialog
  int type;            // block
  int set;             // map set of the simulator (0 for the configuration)
};

void PrintTo(const TransferCase& c, std::ostream* os) {
  *os << c.button;
}

class TransferTest : public KestraWindowTest, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(TransferTest, ReceiveScattersAndSendWritesBack) {
  const TransferCase& c = GetParam();
  FakePage* page = AddPage(shell::PageId::Config);
  Start();
  ASSERT_TRUE(Connect());
  std::vector<uint8_t>& ecuBlock = c.type == 1 ? device.parBlock : device.mapping[c.set];
  ecuBlock[100] = 0x5A;                   // a byte field that no panel writes
  const int block = c.type == 1 ? 1 : 2;  // areas 2 and 3 both fill the map block
  const size_t size = ecu::BlockSize(block);

  const int scatters = page->scatters;
  AnswerDialog(c.button);
  Click(F().CBreceive);
  ASSERT_FALSE(io.Messages().empty());
  EXPECT_EQ(io.Messages().back().title, "Receive");
  EXPECT_EQ(io.Messages().back().text, "Done!");
  EXPECT_TRUE(SameBytes(ecu::WorkingBlock(block), ecuBlock.data(), size));
  EXPECT_EQ(page->scatters, scatters + 1);
  const std::string expectedName = c.type == 1 ? device.parName : device.mapName[c.set];
  QLabel* nameField = c.type == 1 ? F().TMecuParName : F().TMecuMapName;
  EXPECT_EQ(nameField->text().toStdString(), expectedName);
  EXPECT_FALSE(F().NSprogressBar->isVisible());
  EXPECT_TRUE(F().CBreceive->isEnabled());
  EXPECT_EQ(shell::fReceiving, 0);
  // A received block is not saved yet.
  EXPECT_EQ(ecu::IsEcuDataChanged(block), 1);

  // Change it here and send it back.
  ecu::WorkingBlock(block)[100] = 0xA5;
  io.log.clear();
  AnswerDialog(c.button);
  Click(F().CBsend);
  ASSERT_FALSE(io.Messages().empty());
  EXPECT_EQ(io.Messages().back().title, "Send");
  EXPECT_EQ(io.Messages().back().text, "Done!");
  EXPECT_EQ(device.uploadsAccepted, 1);
  EXPECT_EQ(ecuBlock[100], 0xA5);
  EXPECT_EQ(shell::fSending, 0);
  EXPECT_EQ(shell::fRefresh, 1);
}

INSTANTIATE_TEST_SUITE_P(Kestra, TransferTest,
                         ::testing::Values(TransferCase{"CBconfiguration", 1, 0},
                                           TransferCase{"CBmapping1", 2, 0},
                                           TransferCase{"CBmapping2", 3, 1}),
                         [](const auto& info) { return std::string(info.param.button + 2); });

TEST_F(KestraWindowTest, ReceiveOverAnEditedBlockKeepsARestorePointOnTheStatusLine) {
  QTemporaryDir data;
  ASSERT_TRUE(data.isValid());
  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", data.path().toUtf8());
  Start();
  ASSERT_TRUE(Connect());
  ecu::InitEcuRefData();
  ecu::ecuMapData[3000] ^= 0x11;  // edited, never stored
  AnswerDialog("CBmapping1");
  Click(F().CBreceive);
  qputenv("XDG_DATA_HOME", previous);
  ASSERT_EQ(io.Messages().size(), 1u);  // only "Done!": the restore point asks nothing
  EXPECT_EQ(io.Messages()[0].text, "Done!");
  const QStringList kept = QDir(data.path() + "/kestra/restore").entryList(QDir::Files);
  ASSERT_EQ(kept.size(), 1);
  EXPECT_TRUE(F().TMstatus->text().contains(kept[0])) << F().TMstatus->text().toStdString();
}

TEST_F(KestraWindowTest, ReceiveFailureKeepsTheBlockAndSaysSo) {
  Start();
  ASSERT_TRUE(Connect());
  const std::vector<uint8_t> before(ecu::ecuParData, ecu::ecuParData + ecu::kParSize);
  engine_->MutableFaults().shortReplyAt = engine_->FramesSeen() + 2;
  AnswerDialog("CBconfiguration");
  Click(F().CBreceive);
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Receive");
  EXPECT_EQ(io.Messages()[0].text, "Some error occurred...");
  EXPECT_TRUE(SameBytes(ecu::ecuParData, before.data(), ecu::kParSize));
}

struct FileCase {
  const char* button;
  int type;
  const char* ext;
};

void PrintTo(const FileCase& c, std::ostream* os) {
  *os << c.button;
}

class StoreLoadTest : public KestraWindowTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(StoreLoadTest, RoundTripRefreshesTheReferenceCopy) {
  const FileCase& c = GetParam();
  FakePage* page = AddPage(shell::PageId::Config);
  Start();
  uint8_t* block = ecu::WorkingBlock(c.type);
  const size_t size = ecu::BlockSize(c.type);
  block[100] = 0x33;
  ASSERT_EQ(ecu::IsEcuDataChanged(c.type), 1);

  // Store under a name with another extension: the block's own is put on.
  io.files.push_back({com::FileSelect::New, Path("bench.txt")});
  AnswerDialog(c.button);
  Click(F().CBstore);
  EXPECT_TRUE(io.Messages().empty());
  ASSERT_EQ(io.dialogs.size(), 1u);
  EXPECT_TRUE(io.dialogs[0].save);
  EXPECT_EQ(io.dialogs[0].extension, c.ext);
  EXPECT_EQ(ecu::IsEcuDataChanged(c.type), 0);
  QLabel* nameField = c.type == 1 ? F().TMecuParName : F().TMecuMapName;
  EXPECT_EQ(nameField->text(), QStringLiteral("bench"));
  const std::vector<uint8_t> stored(block, block + size);
  const std::string file = Path("bench.") + c.ext;
  ASSERT_TRUE(QFile::exists(QString::fromStdString(file)));
  EXPECT_EQ(QFile(QString::fromStdString(file)).size(), static_cast<qint64>(size));

  // Change the block, then load the file again.
  block[100] = 0x44;
  const int scatters = page->scatters;
  io.files.push_back({com::FileSelect::Existing, file});
  AnswerDialog(c.button);
  Click(F().CBload);
  EXPECT_TRUE(io.Messages().empty());
  EXPECT_TRUE(SameBytes(block, stored.data(), size));
  EXPECT_TRUE(SameBytes(ecu::ReferenceBlock(c.type), stored.data(), size));
  EXPECT_EQ(page->scatters, scatters + 1);
  EXPECT_TRUE(F().CBload->isEnabled());

  // A missing file is an error of the command, and the block stays.
  io.files.push_back({com::FileSelect::Existing, Path("gone.ecd")});
  block[100] = 0x55;
  AnswerDialog(c.button);
  Click(F().CBload);
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Load");
  EXPECT_EQ(io.Messages()[0].text, "Some error occurred...");
  EXPECT_EQ(block[100], 0x55);
}

INSTANTIATE_TEST_SUITE_P(Kestra, StoreLoadTest,
                         ::testing::Values(FileCase{"CBconfiguration", 1, "ecd"},
                                           FileCase{"CBmapping", 2, "emd"}),
                         [](const auto& info) { return std::string(info.param.ext); });

TEST_F(KestraWindowTest, StartUpLoadsTheLastFilesSilently) {
  // A first run stores a configuration; the next start finds it again.
  Start();
  ecu::ecuParData[100] = 0x77;
  io.files.push_back({com::FileSelect::New, Path("last.ecd")});
  AnswerDialog("CBconfiguration");
  Click(F().CBstore);
  window->Shutdown();
  window.reset();
  std::memset(ecu::ecuParData, 0, ecu::kParSize);

  window = std::make_unique<shell::MainWindow>(&io);
  Start();
  EXPECT_EQ(ecu::ecuParData[100], 0x77);
  EXPECT_EQ(F().TMecuParName->text(), QStringLiteral("last"));
  EXPECT_EQ(F().TMecuMapName->text(), QString());
  EXPECT_EQ(ecu::IsEcuDataChanged(1), 0);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestra Tarvenco v1.3"));
}

TEST_F(KestraWindowTest, ExitAsksAboutUnsavedChanges) {
  FakePage* page = AddPage(shell::PageId::Config);
  Start();
  ecu::ecuParData[100] ^= 0xFF;
  const std::vector<uint8_t> before(ecu::ecuParData, ecu::ecuParData + ecu::kParSize);

  // "No" keeps the program running and the blocks as they are, from the button and the close box.
  io.confirms = {false, false};
  Click(F().CBexit);
  window->show();
  window->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(quits, 0);
  ASSERT_EQ(io.log.size(), 2u);
  EXPECT_EQ(io.log[0].kind, "confirm");
  EXPECT_EQ(io.log[0].title, "Updated ECU configuration data!");
  EXPECT_EQ(io.log[0].text, "Exit without saving changes?");
  EXPECT_TRUE(SameBytes(ecu::ecuParData, before.data(), ecu::kParSize));

  // A panel that cannot be gathered is reported, and the question still comes.
  io.log.clear();
  page->gatherOk = 0;
  io.confirms = {false};
  EXPECT_EQ(window->Exit(), 1);
  ASSERT_EQ(io.log.size(), 2u);
  EXPECT_EQ(io.log[0].title, "Quit Application");
  EXPECT_EQ(io.log[0].text, "Some error occurred...");
  EXPECT_EQ(io.log[1].kind, "confirm");
  EXPECT_EQ(quits, 0);

  // "Yes" quits.
  page->gatherOk = 1;
  io.confirms = {true};
  Click(F().CBexit);
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(window->Quitting());
}

TEST_F(KestraWindowTest, ExitWithoutChangesQuitsWithoutAsking) {
  Start();
  window->show();
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(io.log.empty());
}

struct DialogCase {
  const char* name;
  int dialog;  // 0 data version, 1 ECU data (files), 2 ECU data (ECU)
  const char* answer;
  int result;
};

void PrintTo(const DialogCase& c, std::ostream* os) {
  *os << c.name;
}

class SelectionDialogTest : public KestraWindowTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(SelectionDialogTest, AnswersAndCancel) {
  const DialogCase& c = GetParam();
  Start();
  AnswerDialog(c.answer);
  const int result =
      c.dialog == 0 ? shell::SelectDataVersion(window.get()) : shell::SelectEcuData(c.dialog, window.get());
  EXPECT_EQ(result, c.result);
}

INSTANTIATE_TEST_SUITE_P(Kestra, SelectionDialogTest,
                         ::testing::Values(DialogCase{"VersionCloseBox", 0, "close", 0},
                                           DialogCase{"VersionEsc", 0, "esc", 0},
                                           DialogCase{"VersionCancel", 0, "CBcancel", 0},
                                           DialogCase{"VersionQ740", 0, "CBq740v12", 1},
                                           DialogCase{"VersionTalaris", 0, "CBtalaris", 2},
                                           DialogCase{"FilesMapping", 1, "CBmapping", 2},
                                           DialogCase{"FilesCloseBox", 1, "close", 0},
                                           DialogCase{"EcuConfig", 2, "CBconfiguration", 1},
                                           DialogCase{"EcuMapping2", 2, "CBmapping2", 3},
                                           DialogCase{"EcuEsc", 2, "esc", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestra_test
