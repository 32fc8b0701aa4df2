#include "config/cfgpanel.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>
#include <array>
#include <cstring>

#include "config/bike.h"
#include "config/cfgdata.h"
#include "ecudata/fieldkeep.h"
#include "ecudata/image.h"
#include "link/userio.h"
#include "params/fieldbinding.h"
#include "shell/connection.h"
#include "ui_config.h"

namespace config {

namespace {

constexpr int kNotesChars = static_cast<int>(kNotesSize) - 1;

// "(not listed)" items keep a value the catalogue does not offer, so that a gather
// stores back what the block held instead of the ring's first entry.
QString NotListed(int ring, int value) {
  const char* year = ring == 2 ? szYear(value) : "";
  return QStringLiteral("%1 (not listed)").arg(year[0] ? QString::fromLatin1(year) : QString::number(value));
}

}  // namespace

void FitTable(QTableWidget* table, int columnWidth) {
  // Sizes come from the style and the font: polish first, or the header is measured
  // with the defaults and the last row ends up cut off.
  table->ensurePolished();
  table->horizontalHeader()->ensurePolished();
  table->verticalHeader()->ensurePolished();
  table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->horizontalHeader()->setDefaultSectionSize(columnWidth);
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  const int rowHeight = std::max(24, table->fontMetrics().height() + 8);
  table->verticalHeader()->setDefaultSectionSize(rowHeight);
  // One width for the row captions of every table, so that the columns of tables
  // stacked one under the other line up.
  table->verticalHeader()->setFixedWidth(kRowCaptionWidth);
  int height = table->horizontalHeader()->isHidden() ? 0 : table->horizontalHeader()->sizeHint().height();
  for (int r = 0; r < table->rowCount(); ++r)
    if (!table->isRowHidden(r)) height += rowHeight;
  height += 2 * table->frameWidth();
  const int width = kRowCaptionWidth + columnWidth * table->columnCount() + 2 * table->frameWidth();
  table->setFixedSize(width, height);
  table->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

CfgPage::CfgPage(QWidget* parent) : parent_(parent), form_(std::make_unique<Ui::CfgPanel>()) {}
CfgPage::~CfgPage() = default;

uint8_t CfgPage::Init() {
  widget_ = new QWidget(parent_);
  form_->setupUi(widget_);
  binding_ = std::make_unique<params::FieldBinding>(widget_, CfgFields());
  if (!binding_->Setup()) return 0;
  for (QComboBox* ring : {form_->RINGtypeBikeFamily, form_->RINGtypeBikeModel, form_->RINGtypeBikeYear})
    QObject::connect(ring, &QComboBox::activated, widget_, [this](int) { FRINGtypeBike(); });
  // The notes hold at most 399 characters (one byte each in the block).
  QObject::connect(form_->TBOXnotes, &QPlainTextEdit::textChanged, widget_, [this] {
    QPlainTextEdit* box = form_->TBOXnotes;
    const QString text = box->toPlainText();
    if (text.size() <= kNotesChars) return;
    QTextCursor cursor = box->textCursor();
    const int pos = std::min(cursor.position(), kNotesChars);
    box->setPlainText(text.left(kNotesChars));
    cursor = box->textCursor();
    cursor.setPosition(pos);
    box->setTextCursor(cursor);
  });
  form_->TBOXnotes->setMinimumSize(360, 160);
  form_->TBOXnotes->setToolTip(
      QStringLiteral("Free text kept with the configuration (at most 399 characters)"));
  InitCfgData(ecu::ecuParData);
  return 1;
}

uint8_t CfgPage::FillBikeRings(uint32_t code) {
  const BikeRings items = BikeRingItems(code);
  const std::array<std::pair<QComboBox*, const std::vector<RingItem>*>, 3> rings{{
      {form_->RINGtypeBikeFamily, &items.family},
      {form_->RINGtypeBikeModel, &items.model},
      {form_->RINGtypeBikeYear, &items.year},
  }};
  for (const auto& [ring, list] : rings) {
    if (!ring) return 1;
    const QSignalBlocker quiet(ring);
    ring->clear();
    for (const RingItem& item : *list) ring->addItem(QString::fromStdString(item.text), item.value);
  }
  return 0;
}

// Sets ring 0 (family), 1 (model) or 2 (year) to `value`; 0 when the ring does not
// list it, unless `addMissing` lets it add the value as "(not listed)".
uint8_t CfgPage::SetRing(int ring, int value, bool addMissing) {
  QComboBox* box = ring == 0   ? form_->RINGtypeBikeFamily
                   : ring == 1 ? form_->RINGtypeBikeModel
                               : form_->RINGtypeBikeYear;
  int index = box->findData(value);
  if (index < 0) {
    if (!addMissing) return 0;
    box->addItem(NotListed(ring, value), value);
    index = box->count() - 1;
  }
  box->setCurrentIndex(index);
  return 1;
}

uint8_t CfgPage::SetupCfgPanel() {
  if (FillBikeRings(GetBikeCode(ecu::ecuParData)) != 0) return 0;
  form_->STRdashTitle->setMaxLength(static_cast<int>(kDashTitleSize));
  QTableWidget* offs = form_->TABoffsVbat;
  if (offs->rowCount() != 3 || form_->TABdwell->rowCount() != 2) return 0;
  offs->setRowHidden(2, !fDoubleInj);
  FitTable(form_->TABdwell, 62);
  FitTable(offs, 62);
  binding_->SetGroupVisible(kIdlingGroup, fIdling);
  form_->TMidlingControl->setVisible(fIdling);
  form_->GRPidling->setVisible(fIdling);
  binding_->SetGroupVisible(kDoubleInjGroup, fDoubleInj);
  form_->TMdoubleInj->setVisible(fDoubleInj);
  form_->GRPdoubleInj->setVisible(fDoubleInj);
  form_->TMdashTitle->setVisible(fDash);
  form_->STRdashTitle->setVisible(fDash);
  form_->GRPdash->setVisible(fDash);
  return 1;
}

uint8_t CfgPage::Scatter() {
  ConfigFlagBike();
  if (!SetupCfgPanel()) return 0;
  const uint32_t code = GetBikeCode(ecu::ecuParData);
  const int family = static_cast<int>((code >> 16) & 0xFF);
  const int model = static_cast<int>((code >> 8) & 0xFF);
  const int year = static_cast<int>(code & 0xFF);
  // A code outside the catalogue is shown as it is ("-undefined-" for "not set", else
  // "(not listed)" items), so that the next gather stores it back unchanged.
  if (!SetRing(0, family, true) || !SetRing(1, model, true) || !SetRing(2, year, true)) return 0;
  ecu::ecuParData[kNotesOffset + kNotesSize - 1] = 0;
  form_->TBOXnotes->setPlainText(QString::fromStdString(GetNotes(ecu::ecuParData)));
  form_->STRdashTitle->setText(QString::fromStdString(GetDashTitle(ecu::ecuParData)));
  return binding_->Scatter(ecu::ecuParData);
}

uint8_t CfgPage::Gather() {
  // Gathered into a copy: a control that cannot be read leaves the block as it was.
  std::array<uint8_t, ecu::kParSize> block;
  std::memcpy(block.data(), ecu::ecuParData, block.size());
  const QVariant family = form_->RINGtypeBikeFamily->currentData();
  const QVariant model = form_->RINGtypeBikeModel->currentData();
  const QVariant year = form_->RINGtypeBikeYear->currentData();
  if (!family.isValid() || !model.isValid() || !year.isValid()) return 0;
  PutBikeCode(block.data(), MakeBikeCode(family.toInt(), model.toInt(), year.toInt()));
  if (!binding_->Gather(block.data())) return 0;
  PutNotes(block.data(), form_->TBOXnotes->toPlainText().toStdString());
  PutDashTitle(block.data(), form_->STRdashTitle->text().toStdString());
  // The built-in geometry and constants go with a configuration made here: written when
  // the page was edited, never over a block that nobody touched.
  if (std::memcmp(block.data(), ecu::ecuParData, block.size()) != 0) WriteCfgConstants(block.data());
  const bool sorted = SortVbatTables(block.data(), ecu::ecuParData);
  std::memcpy(ecu::ecuParData, block.data(), block.size());
  return sorted ? Scatter() : 1;
}

void CfgPage::FRINGtypeBike() {
  if (shell::CheckfBusy()) return;
  const QVariant family = form_->RINGtypeBikeFamily->currentData();
  const QVariant model = form_->RINGtypeBikeModel->currentData();
  const QVariant year = form_->RINGtypeBikeYear->currentData();
  if (!family.isValid() || !model.isValid() || !year.isValid()) return;
  const uint32_t code = MakeBikeCode(family.toInt(), model.toInt(), year.toInt());
  if (FillBikeRings(code) != 0) return;
  // A model or year the new lists do not hold ends here; the rings show what they could.
  if (!SetRing(0, family.toInt(), false)) return;
  if (!SetRing(1, model.toInt(), false)) return;
  if (!SetRing(2, year.toInt(), false)) return;
  if (!Gather() || !Scatter()) com::Ui().MessagePopup("Config Bike", shell::szGenericError);
}

}  // namespace config
