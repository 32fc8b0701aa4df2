// The cell-value dialog of the map editor ("Edit Map"): one operation on the selected
// cells (set, add, percentage, the three interpolations, restore, copy to every
// cylinder). It previews set, add and percentage in the editor's table in bold and
// changes the block only on Apply, as one step of the editor's edit history. Its mode,
// position and zoom are kept between openings.
#pragma once
#include <QDialog>
#include <QPoint>
#include <memory>

#include "maps/mapedit.h"

class QRadioButton;

namespace Ui {
class MpvDialog;
}

namespace maps {

class Mp1Page;

// Where the dialog was last shown (top left) and whether it was maximised.
extern QPoint posMpvPanel;
extern bool posMpvPanelSet;
extern bool zoomMpvPanel;

class MpvDialog : public QDialog {
 public:
  MpvDialog(Mp1Page* editor, QWidget* parent);
  ~MpvDialog() override;

  // Shows the dialog for a selection that is not empty and waits; 1 on success (also
  // after Cancel), 0 when an operation failed.
  uint8_t Run(const CellRect& selection);

  // Prepares the dialog for a mode (copy where it is not offered becomes percentage).
  void Prepare(ValueMode mode);
  ValueMode Mode() const { return mode_; }
  const CellRect& Selection() const { return selection_; }
  Ui::MpvDialog& Form() { return *form_; }

  void reject() override;  // Cancel, Esc and the close box

 protected:
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ValueChanged();
  void ModeClicked(ValueMode mode);
  void Apply();
  void RememberPlace();
  QRadioButton* Button(ValueMode mode) const;
  QString SelectionText() const;

  Mp1Page* editor_;
  std::unique_ptr<Ui::MpvDialog> form_;
  CellRect selection_;
  ValueMode mode_ = ValueMode::PercAdd;
  uint8_t result_ = 1;
};

}  // namespace maps
