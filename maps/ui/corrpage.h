// The injection and the advance correction editors: the correction curves (the water
// or the oil temperature curve, as the bike's temperature sensor is), the user
// correction map of each cylinder and its value dialog ("Edit Injection" / "Edit
// Advance": set, add, percentage, previewed in bold). Both pages show what the
// correction model (maps/corredit.h) computes; every edit is one step of the page's
// edit history (Ctrl+Z, Ctrl+Y / Ctrl+Shift+Z).
#pragma once
#include <QDialog>
#include <QObject>
#include <QPoint>
#include <memory>
#include <vector>

#include "maps/corredit.h"
#include "maps/mapedit.h"
#include "shell/pages.h"

class QTableWidget;

namespace Ui {
class InjPanel;
class AdvPanel;
class CorrValDialog;
}  // namespace Ui

namespace maps {

class CorrPage;
class EngineView;

// The value dialog of a correction editor; its position and zoom are kept between
// openings (posInjVpanel / zoomInjVpanel, posAdvVpanel / zoomAdvVpanel).
class CorrValDialog : public QDialog {
 public:
  CorrValDialog(CorrPage* page, QWidget* parent);
  ~CorrValDialog() override;

  // Shows the dialog for a selection of the cylinder's table and waits; 1 on success
  // (also after Cancel), 0 when the operation failed.
  uint8_t Run(int cyl, const CellRect& selection);
  void Prepare(CorrMode mode);
  CorrMode Mode() const { return mode_; }
  Ui::CorrValDialog& Form() { return *form_; }
  void reject() override;  // Cancel, Esc and the close box

  QPoint pos_;
  bool posSet_ = false, zoom_ = false;

 protected:
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ValueChanged();
  void Apply();
  void RememberPlace();

  CorrPage* page_;
  std::unique_ptr<Ui::CorrValDialog> form_;
  CellRect selection_;
  int cyl_ = 0;
  CorrMode mode_ = CorrMode::Set;
  bool preparing_ = false;
  uint8_t result_ = 1;
};

class CorrPage : public QObject, public shell::Page {
 public:
  CorrPage(shell::PageId id, const CorrEditor& editor, QWidget* parent);
  ~CorrPage() override;

  shell::PageId Id() const override { return id_; }
  QWidget* Widget() override { return widget_; }
  uint8_t Init() override;  // InitInjPanel / InitAdvPanel
  uint8_t Scatter() override;
  uint8_t Gather() override;
  uint8_t Timer() override;  // InjTimer / AdvTimer: the identity Ping, the live record
  int TimerInterval() const override;
  void Leave() override;  // closes the open edit step
  void BlocksReplaced(int type) override;

  const CorrEditor& Editor() const { return editor_; }
  QTableWidget* Curve(size_t i) const { return curves_.at(i); }
  QTableWidget* User(int cyl) const { return user_[cyl]; }
  CorrValDialog* ValueDialog() const { return dialog_; }
  // The running engine on the page (gauge strip, working point on the user maps).
  EngineView* Engine() const { return engine_; }
  EditHistory& History() { return history_; }

  // Opens the value dialog for the selection of a cylinder's table (InjEdit / AdvEdit on
  // a right click or Ctrl+Enter); 1 on success or when there was nothing to edit.
  uint8_t OpenValueDialog(int cyl);
  bool Undo();
  bool Redo();
  // Ctrl+C / Ctrl+V on one of the page's tables (tab-separated display values).
  void CopySelection(QTableWidget* table);
  void PasteClipboard(QTableWidget* table);
  // Shows values (row by row over rect) in bold in the cylinder's table.
  void Preview(int cyl, const CellRect& rect, const std::vector<double>& values);
  // An edit of the block is about to happen (one undo step).
  void BeginEdit();

 protected:
  virtual void SetupForm(QWidget* widget) = 0;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Commit();  // a value typed into a cell
  void Error(const char* title) const;
  uint8_t ReadTables(CorrShown* shown) const;
  // Which of the editor's tables a table widget is; false for another widget.
  bool TableOf(const QTableWidget* table, CorrTable* which) const;
  void Status(const QString& text) const;

  shell::PageId id_;
  const CorrEditor& editor_;
  QWidget* parent_;
  QWidget* widget_ = nullptr;
  std::vector<QTableWidget*> curves_;
  QTableWidget* user_[2] = {nullptr, nullptr};
  CorrValDialog* dialog_ = nullptr;
  EngineView* engine_ = nullptr;
  EditHistory history_;
  bool scattering_ = false;
};

class InjPage : public CorrPage {
 public:
  explicit InjPage(QWidget* parent = nullptr);
  ~InjPage() override;
  Ui::InjPanel& Form() { return *form_; }

 protected:
  void SetupForm(QWidget* widget) override;

 private:
  std::unique_ptr<Ui::InjPanel> form_;
};

class AdvPage : public CorrPage {
 public:
  explicit AdvPage(QWidget* parent = nullptr);
  ~AdvPage() override;
  Ui::AdvPanel& Form() { return *form_; }

 protected:
  void SetupForm(QWidget* widget) override;

 private:
  std::unique_ptr<Ui::AdvPanel> form_;
};

}  // namespace maps
