#include "shell/qtuserio.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/utils.h"
#include "shell/connection.h"

namespace shell {

namespace {

double lastPumpTime = -1e9;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

void ProcessMyEvents(bool force) {
  const double now = com::Timer();
  const uint8_t wasBusy = fBusy;
  fBusy = 1;
  if (!force && now - lastPumpTime < 1.0) {
    // Drawing only: deliver the pending repaints, nothing else.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
  } else {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    lastPumpTime = com::Timer();
  }
  fBusy = wasBusy;
}

class QtUserIo::NormalCursorScope {
 public:
  NormalCursorScope() : wait_(QApplication::overrideCursor() != nullptr) {
    if (wait_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~NormalCursorScope() {
    if (wait_) QApplication::restoreOverrideCursor();
  }

 private:
  bool wait_;
};

void QtUserIo::Attach(QWidget* mainPanel, QProgressBar* progressBar, QLabel* parName, QLabel* mapName) {
  mainPanel_ = mainPanel;
  progressBar_ = progressBar;
  parName_ = parName;
  mapName_ = mapName;
}

void QtUserIo::ShowStatus(const std::string& text) {
  UserIo::ShowStatus(text);
  if (status_) status_->setText(Q(text));
}

void QtUserIo::MessagePopup(const std::string& title, const std::string& text) {
  NormalCursorScope arrow;
  QMessageBox box(DialogParent());
  box.setWindowTitle(Q(title));
  box.setText(Q(text));
  const bool bad = title.rfind("Failure", 0) == 0 || text.rfind(szGenericError, 0) == 0;
  const bool warn = title.rfind("Warning", 0) == 0 || title == "Check type bike";
  box.setIcon(bad ? QMessageBox::Critical : warn ? QMessageBox::Warning : QMessageBox::Information);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

bool QtUserIo::ConfirmPopup(const std::string& title, const std::string& text) {
  NormalCursorScope arrow;
  QMessageBox box(DialogParent());
  box.setWindowTitle(Q(title));
  box.setText(Q(text));
  box.setIcon(QMessageBox::Question);
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

int QtUserIo::ButtonPopup(const std::string& title, const std::string& text, const std::string& button1,
                          const std::string& button2, const std::string& button3) {
  NormalCursorScope arrow;
  // A small dialog rather than a message box: the close box and Esc answer 0.
  QDialog dialog(DialogParent());
  dialog.setWindowTitle(Q(title));
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(Q(text), &dialog);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(label);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  const std::string* labels[] = {&button1, &button2, &button3};
  for (int i = 0; i < 3; ++i) {
    if (labels[i]->empty()) continue;
    auto* button = new QPushButton(Q(*labels[i]), &dialog);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, i] { dialog.done(i + 1); });
    row->addWidget(button);
  }
  layout->addLayout(row);
  const int result = dialog.exec();
  return result >= 1 && result <= 3 ? result : 0;
}

com::FileSelect QtUserIo::FileSelectPopup(const com::FileDialog& request, std::string& path) {
  NormalCursorScope arrow;
  QFileDialog dialog(DialogParent(), Q(request.title), Q(request.directory));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, !request.allowNewDirectory);
  if (!request.extension.empty()) {
    const QString ext = Q(request.extension);
    dialog.setNameFilter(QStringLiteral("%1 files (*.%2)").arg(ext.toUpper(), ext));
    dialog.setDefaultSuffix(ext);
  }
  // A proposal of "*.ext" is only the filter; a real name is pre-selected.
  if (!request.proposal.empty() && request.proposal.rfind("*.", 0) != 0) {
    const QFileInfo proposal(Q(request.proposal));
    if (proposal.isAbsolute()) dialog.setDirectory(proposal.absolutePath());
    dialog.selectFile(proposal.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return com::FileSelect::Cancelled;
  const QString chosen = dialog.selectedFiles().first();
  path = chosen.toStdString();
  const QFileInfo info(chosen);
  if (info.exists()) return info.isFile() ? com::FileSelect::Existing : com::FileSelect::Error;
  return request.save ? com::FileSelect::New : com::FileSelect::Error;
}

void QtUserIo::SetProgressBar(uint32_t done, uint32_t total) {
  if (total == 0) {
    if (progressBar_) {
      progressBar_->setValue(0);
      progressBar_->setVisible(false);
    }
    ProcessMyEvents(true);
    return;
  }
  const int percent = static_cast<int>(static_cast<uint64_t>(done) * 100 / total);
  if (progressBar_) {
    progressBar_->setValue(percent > 100 ? 100 : percent);
    progressBar_->setVisible(true);
  }
  ProcessMyEvents(false);
}

std::string QtUserIo::GetConfigName(int type) {
  QLabel* field = type == 1 ? parName_.data() : type == 2 ? mapName_.data() : nullptr;
  if (type != 1 && type != 2) return "_Ooops!_";
  return field ? field->text().toStdString() : std::string();
}

void QtUserIo::ShowConfigName(const std::string& text, int type) {
  QLabel* field = type == 1 ? parName_.data() : type == 2 ? mapName_.data() : nullptr;
  if (field) field->setText(Q(text));
}

void QtUserIo::SetMouseCursor(int cursor) {
  if (cursor == cursor_) return;
  if (cursor == com::kCursorWait)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  cursor_ = cursor;
}

}  // namespace shell
