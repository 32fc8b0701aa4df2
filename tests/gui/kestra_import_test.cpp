// The main panel's Import, and the start-up defaults it shares with kestra-cli.
#include <QLabel>
#include <QTimer>
#include <cstring>
#include <utility>
#include <vector>

#include "ecudata/defaults.h"
#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/import.h"
#include "kestra_fixture.h"
#include "link/bytes.h"
#include "link/utils.h"
#include "old_data.h"
#include "test_support.h"

namespace kestra_test {
namespace {

using test_support::Bytes;

class ImportWindowTest : public KestraWindowTest {
 protected:
  // Answers the selection dialogs in turn: each entry names the dialog and the button.
  void AnswerDialogs(std::vector<std::pair<std::string, std::string>> answers) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    auto queue = std::make_shared<std::vector<std::pair<std::string, std::string>>>(std::move(answers));
    QObject::connect(poll, &QTimer::timeout, poll, [this, poll, queue] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (queue->empty()) {
        poll->stop();
        poll->deleteLater();
        return;
      }
      if (!dialog || !dialog->isVisible() || dialog->objectName().toStdString() != queue->front().first)
        return;
      const std::string button = queue->front().second;
      queue->erase(queue->begin());
      io.log.push_back({"dialog", dialog->objectName().toStdString(), button});
      auto* found = dialog->findChild<QPushButton*>(QString::fromStdString(button));
      ASSERT_NE(found, nullptr) << button;
      found->click();
    });
    poll->start();
  }
  std::string Write(const char* name, const Bytes& bytes) {
    const std::string path = Path(name);
    EXPECT_TRUE(test_support::WriteAll(path, bytes));
    return path;
  }
};

TEST_F(ImportWindowTest, PagesWriteTheDefaultsThatTheCommandLineStartsFrom) {
  std::memset(ecu::ecuParData, 0, ecu::kParSize);
  std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
  ASSERT_TRUE(window->LoadPanels());
  const Bytes par(ecu::ecuParData, ecu::ecuParData + ecu::kParSize);
  const Bytes map(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  std::memset(ecu::ecuParData, 0, ecu::kParSize);
  std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
  ecu::InitStartupDefaults();
  EXPECT_EQ(Bytes(ecu::ecuParData, ecu::ecuParData + ecu::kParSize), par);
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), map);
}

TEST_F(ImportWindowTest, ImportReplacesTheBlockAndScattersIt) {
  Start();
  EXPECT_TRUE(F().CBimport->isEnabled());
  // The configuration names the bike that every Talaris block gets: no bike warning.
  ecu::SetBikeWord(ecu::kParType, ecu::kTalarisBikeWord);
  ASSERT_TRUE(window->Pages().ScatterAllPanels());
  const Bytes old = old_data::TalarisMapping();
  io.files.push_back({com::FileSelect::Existing, Write("old.emd", old)});
  AnswerDialogs({{"DlgEcuDataSelection", "CBmapping"}, {"DlgDataVersionSelection", "CBtalaris"}});
  Click(F().CBimport);

  ASSERT_EQ(io.log.size(), 3u);
  EXPECT_EQ(io.log[0].title, "DlgEcuDataSelection");
  EXPECT_EQ(io.log[1].title, "DlgDataVersionSelection");
  EXPECT_EQ(io.log[2].kind, "file");
  EXPECT_EQ(io.log[2].title, "Import ECU mapping data");
  EXPECT_EQ(F().TMecuMapName->text(), QStringLiteral("old"));
  EXPECT_EQ(com::FieldText(ecu::ecuMapData + 32, 32), "Q740_MAP_DATA_v1.00");
  EXPECT_EQ(std::memcmp(ecu::ecuMapData + 64, old.data(), 400), 0);
  EXPECT_EQ(ecu::GetBikeWord(ecu::kMapType), ecu::kTalarisBikeWord);
  // Imported and scattered, the block counts as stored.
  EXPECT_EQ(ecu::IsEcuDataChanged(ecu::kMapType), 0);
  EXPECT_TRUE(F().CBimport->isEnabled());
}

TEST_F(ImportWindowTest, RefusedMissingAndCancelled) {
  Start();
  const Bytes before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  Bytes shortFile = old_data::TalarisMapping();
  shortFile.pop_back();  // 11717 bytes
  io.files.push_back({com::FileSelect::Existing, Write("short.emd", shortFile)});
  AnswerDialogs({{"DlgEcuDataSelection", "CBmapping"}, {"DlgDataVersionSelection", "CBtalaris"}});
  Click(F().CBimport);
  ASSERT_EQ(io.Messages().size(), 1u);  // the refusal is the import's own message, not an error
  EXPECT_EQ(io.Messages()[0].title, "Import ECU mapping data");
  EXPECT_EQ(io.Messages()[0].text, "The selected file is not correct!");
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), before);

  io.log.clear();
  io.files.push_back({com::FileSelect::Existing, Path("gone.ecd")});
  AnswerDialogs({{"DlgEcuDataSelection", "CBconfiguration"}, {"DlgDataVersionSelection", "CBq740v12"}});
  Click(F().CBimport);
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Import");
  EXPECT_EQ(io.Messages()[0].text, "Some error occurred...");

  // "Cancel" in the data-version dialog ends the command before any file dialog.
  io.log.clear();
  AnswerDialogs({{"DlgEcuDataSelection", "CBmapping"}, {"DlgDataVersionSelection", "CBcancel"}});
  Click(F().CBimport);
  ASSERT_EQ(io.log.size(), 2u);
  EXPECT_EQ(io.log[1].title, "DlgDataVersionSelection");
  EXPECT_TRUE(F().CBimport->isEnabled());
}

}  // namespace
}  // namespace kestra_test
