#include "loader/mainpanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>

#include "link/com.h"
#include "loader/commands.h"
#include "loader/live.h"
#include "loader/program.h"
#include "ui_kalvex_main.h"

namespace loader {

namespace {
QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The decoration: an ECU board with its chip.
QPixmap DrawPicture(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal m = size * 0.08;
  QRectF board(m, m, size - 2 * m, size - 2 * m);
  p.setPen(QPen(QColor(0x1f, 0x4d, 0x2b), 2));
  p.setBrush(QColor(0x2e, 0x7d, 0x46));
  p.drawRoundedRect(board, 8, 8);
  const qreal c = size * 0.26;
  QRectF chip(size / 2.0 - c, size / 2.0 - c, 2 * c, 2 * c);
  p.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), 2));
  for (int i = 0; i < 6; ++i) {  // pins
    const qreal t = chip.left() + (i + 0.5) * chip.width() / 6;
    p.drawLine(QPointF(t, chip.top() - 7), QPointF(t, chip.top()));
    p.drawLine(QPointF(t, chip.bottom()), QPointF(t, chip.bottom() + 7));
    const qreal u = chip.top() + (i + 0.5) * chip.height() / 6;
    p.drawLine(QPointF(chip.left() - 7, u), QPointF(chip.left(), u));
    p.drawLine(QPointF(chip.right(), u), QPointF(chip.right() + 7, u));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x22, 0x22, 0x22));
  p.drawRoundedRect(chip, 3, 3);
  p.setPen(QColor(0xe0, 0xe0, 0xe0));
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(static_cast<int>(size * 0.13));
  p.setFont(font);
  p.drawText(chip, Qt::AlignCenter, QStringLiteral("Q740"));
  return pixmap;
}
}  // namespace

MainPanel::MainPanel(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::KalvexMain>()) {
  ui_->setupUi(this);
  ui_->PICTURE->setPixmap(DrawPicture(104));
  QFont status = ui_->TMmain->font();
  status.setPointSizeF(status.pointSizeF() * 1.35);
  status.setBold(true);
  ui_->TMmain->setFont(status);
  QFont spin = ui_->NUMfwKbyteLabel->font();
  spin.setBold(true);
  ui_->NUMfwKbyteLabel->setFont(spin);
  ui_->NUMfwKbyte->setTextVisible(true);
  UpdateGaugeText();
  SetPortColour(kColourClosed);

  timer_.setObjectName(QStringLiteral("TIMER"));
  timer_.setInterval(kTimerIntervalMs);
  connect(&timer_, &QTimer::timeout, this, [] { MainTimer(true); });
  connect(ui_->CBsend, &QPushButton::clicked, this, [] { Send(); });
  connect(ui_->CBexit, &QPushButton::clicked, this, [] { Exit(); });
  connect(ui_->RINGport, &QComboBox::activated, this, [](int index) { SetComPort(index); });
}

MainPanel::~MainPanel() = default;

void MainPanel::LoadPortList() {
  QSignalBlocker block(ui_->RINGport);
  ui_->RINGport->clear();
  for (const auto& item : com::PortItems()) ui_->RINGport->addItem(Q(item.label), item.value);
  ui_->RINGport->setCurrentIndex(com::PortIndex());
}

void MainPanel::Start() {
  timer_.start();
}

void MainPanel::SetTitle(const std::string& title) {
  setWindowTitle(Q(title));
}

void MainPanel::SetStatusText(const std::string& text) {
  // Results stand out: a finished run in green, a failed one in red.
  const char* colour = "";
  if (text == "Done!")
    colour = "color: #1b7a2e;";
  else if (!text.empty() && text != "Programming...")
    colour = "color: #c62828;";
  ui_->TMmain->setStyleSheet(QString::fromLatin1(colour));
  ui_->TMmain->setText(Q(text));
}

void MainPanel::SetPortColour(uint32_t rgb) {
  if (rgb == portColour_) return;
  portColour_ = rgb;
  ui_->RINGport->setStyleSheet(QStringLiteral("QComboBox#RINGport { background-color: #%1; color: black;"
                                              " border: 1px solid #707070; border-radius: 3px;"
                                              " padding: 2px 6px; }"
                                              "QComboBox#RINGport:disabled { color: #606060; }")
                                   .arg(rgb, 6, 16, QLatin1Char('0')));
}

void MainPanel::SelectPort(int index) {
  QSignalBlocker block(ui_->RINGport);
  ui_->RINGport->setCurrentIndex(index);
}

void MainPanel::SetApplicationText(const std::string& text) {
  ui_->TBOXufwVersion->setPlainText(Q(text));
}

void MainPanel::SetGaugeMaximum(double kbytes) {
  gaugeMaximum_ = kbytes;
  UpdateGaugeText();
}

void MainPanel::SetGaugeValue(double kbytes) {
  gaugeValue_ = kbytes;
  UpdateGaugeText();
}

void MainPanel::SetGaugeLabel(const std::string& label) {
  ui_->NUMfwKbyteLabel->setText(Q(label));
}

void MainPanel::SetRunTime(const RunTime& time) {
  runTimeText_ = RunTimeText(time);
  UpdateGaugeText();
}

void MainPanel::UpdateGaugeText() {
  // The bar counts tenths of a kilobyte; the text gives both figures and the time.
  const int maximum = std::max(1, static_cast<int>(gaugeMaximum_ * 10.0 + 0.5));
  const int value = std::clamp(static_cast<int>(gaugeValue_ * 10.0 + 0.5), 0, maximum);
  ui_->NUMfwKbyte->setMaximum(maximum);
  ui_->NUMfwKbyte->setValue(value);
  QString text;
  if (gaugeMaximum_ > 0) {
    text = QStringLiteral("%1 / %2 KB").arg(gaugeValue_, 0, 'f', 1).arg(gaugeMaximum_, 0, 'f', 1);
    if (!runTimeText_.empty()) text += QStringLiteral("   ") + Q(runTimeText_);
  }
  ui_->NUMfwKbyte->setFormat(text);
}

void MainPanel::DimControls(bool dimmed) {
  ui_->RINGport->setEnabled(!dimmed);
  ui_->CBsend->setEnabled(!dimmed);
  ui_->CBexit->setEnabled(!dimmed);
}

void MainPanel::Beep() {
  QApplication::beep();
}

void MainPanel::Quit() {
  timer_.stop();
  quitting_ = true;
  emit quitRequested();
}

void MainPanel::closeEvent(QCloseEvent* event) {
  // The close box works as Exit: ignored during a run, otherwise the next tick quits.
  if (quitting_) {
    event->accept();
    return;
  }
  event->ignore();
  Exit();
  if (!timer_.isActive() && fQuit) Quit();
}

// ------------------------------------------------------------------ KalvexUserIo

void KalvexUserIo::MessagePopup(const std::string& title, const std::string& text) {
  HeadlessUserIo::MessagePopup(title, text);
  QMessageBox box(parent_);
  box.setWindowTitle(Q(title));
  box.setText(Q(text));
  box.setIcon(QMessageBox::Warning);
  box.exec();
}

bool KalvexUserIo::ConfirmPopup(const std::string& title, const std::string& text) {
  return QMessageBox::question(parent_, Q(title), Q(text)) == QMessageBox::Yes;
}

com::FileSelect KalvexUserIo::FileSelectPopup(const com::FileDialog& request, std::string& path) {
  QFileDialog dialog(parent_, Q(request.title), Q(request.directory));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::ReadOnly, !request.allowNewDirectory);
  if (!request.extension.empty()) {
    const QString ext = Q(request.extension);
    dialog.setNameFilters(
        {QStringLiteral("Firmware files (*.%1)").arg(ext), QStringLiteral("All files (*)")});
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return com::FileSelect::Cancelled;
  const QString chosen = dialog.selectedFiles().first();
  path = chosen.toStdString();
  const QFileInfo info(chosen);
  if (!info.exists()) return com::FileSelect::New;
  return info.isFile() ? com::FileSelect::Existing : com::FileSelect::Error;
}

void KalvexUserIo::SetMouseCursor(int cursor) {
  if (cursor == GetMouseCursor()) return;
  if (cursor == com::kCursorWait)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
  HeadlessUserIo::SetMouseCursor(cursor);
}

void KalvexUserIo::ProcessEvents(bool) {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace loader
