// Binds a field table to the controls of a form, found by their objectName:
// numeric controls (QDoubleSpinBox), toggles (checkable buttons), rings (QComboBox,
// an item's data is the byte it stands for) and the cells of table controls
// (QTableWidget, edited through a spin box with the field's range and decimals).
// Setup gives every control its range and decimals, Scatter shows a block, Gather
// stores the controls back (clamped to the range, rounded with halves away from zero).
#pragma once
#include <QString>
#include <cstdint>
#include <span>

#include "ecudata/fields.h"

class QWidget;
class QTableWidget;

namespace params {

class FieldBinding {
 public:
  FieldBinding(QWidget* form, std::span<const ecu::Field> fields) : form_(form), fields_(fields) {}

  // Ranges, decimals and cell editors; 0 when a control of the table is missing.
  uint8_t Setup();
  // Block -> controls; 0 when a control is missing.
  uint8_t Scatter(const uint8_t* block);
  // Controls -> block; 0 when a control is missing or a cell does not hold a number.
  uint8_t Gather(uint8_t* block);

  // The control of a field (for an element control, its name "NUMx_3").
  QWidget* Control(const QString& name) const;
  // Every control of a group (element controls and tables included).
  void SetGroupVisible(uint8_t group, bool visible);

  std::span<const ecu::Field> Fields() const { return fields_; }

 private:
  QWidget* form_;
  std::span<const ecu::Field> fields_;
};

// Marks a control (a spin box) whose block value lies outside the range it can show:
// the tooltip "outside the range this page sets: <value> kept" on the page-wide colour
// (the form's own tooltip comes back once the value is inside again).
void MarkOutsideRange(QWidget* control, bool outside, const QString& shownValue);
// Cell text of a shown value with the field's decimals.
QString CellText(const ecu::Field& field, double shown);
// Installs the numeric cell editor on a table (done by Setup; public for pages that
// fill their own cells).
void InstallCellEditor(QTableWidget* table);
// Gives a table the height that shows all its rows (and a horizontal scroll bar's room).
void FitTableHeight(QTableWidget* table, int rowHeight = 24);

}  // namespace params
