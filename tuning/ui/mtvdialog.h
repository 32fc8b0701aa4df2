// The tuning value dialog ("Map Tuning"): set, add or a percentage on the selected
// cells of the shown map. It previews the values in the tuning table in bold and, on
// Apply, writes the rows into the ECU; the working block follows the ECU's cell list.
#pragma once
#include <QDialog>
#include <memory>

#include "tuning/manual.h"

namespace Ui {
class TuneMapVal;
}

namespace tuning {

class Mp2Page;

class MtvDialog : public QDialog {
 public:
  MtvDialog(Mp2Page* page, QWidget* parent);
  ~MtvDialog() override;

  // Shows the dialog for a selection of map cells and waits; 1 unless a row failed.
  uint8_t Run(int map, const TuneSelection& selection);
  void Prepare(int operation);
  int Operation() const { return operation_; }
  Ui::TuneMapVal& Form() { return *form_; }
  void reject() override;

 protected:
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Preview();
  void Apply();
  void RememberPlace();

  Mp2Page* page_;
  std::unique_ptr<Ui::TuneMapVal> form_;
  int map_ = kMapInj1;
  int operation_ = kOpPercent;
  TuneSelection selection_;
  uint8_t result_ = 1;
  bool preparing_ = false;
};

}  // namespace tuning
