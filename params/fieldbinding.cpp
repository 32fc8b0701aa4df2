#include "params/fieldbinding.h"

#include <QAbstractButton>
#include <QColor>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QLocale>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QWidget>

#include "ecudata/fieldkeep.h"

namespace params {

namespace {

using ecu::Field;
using ecu::FieldKind;

enum CellRole { kMinRole = Qt::UserRole + 1, kMaxRole, kDecimalsRole };

// Edits a numeric cell with the range and decimals its field gave it.
class CellEditor : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    auto* box = new QDoubleSpinBox(parent);
    box->setDecimals(index.data(kDecimalsRole).toInt());
    box->setRange(index.data(kMinRole).toDouble(), index.data(kMaxRole).toDouble());
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setFrame(false);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return box;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    static_cast<QDoubleSpinBox*>(editor)->setValue(
        QLocale::c().toDouble(index.data(Qt::EditRole).toString()));
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    auto* box = static_cast<QDoubleSpinBox*>(editor);
    box->interpretText();
    model->setData(index, QLocale::c().toString(box->value(), 'f', box->decimals()), Qt::EditRole);
  }
};

// A value the control cannot hold (beyond the range of the page) is shown as near as the
// control can and marked, so the technician sees that the block holds something else.
const QColor kOutsideColour = QColor::fromRgb(ecu::kOutsideRangeRgb);

QString OutsideTip(const Field& f, int64_t raw) {
  return QString::fromStdString(ecu::OutsideRangeText(ecu::FormatShown(f, ecu::ToShown(f, raw))));
}

void MarkWidget(QWidget* widget, const Field& f, int64_t raw) {
  MarkOutsideRange(widget, ecu::OutsideRange(f, raw),
                   QString::fromStdString(ecu::FormatShown(f, ecu::ToShown(f, raw))));
}

void MarkItem(QTableWidgetItem* item, const Field& f, int64_t raw) {
  const bool outside = ecu::OutsideRange(f, raw);
  item->setToolTip(outside ? OutsideTip(f, raw) : QString());
  item->setData(Qt::BackgroundRole, outside ? QVariant(kOutsideColour) : QVariant());
}

QTableWidgetItem* CellItem(QTableWidget* table, int row, int col) {
  QTableWidgetItem* item = table->item(row, col);
  if (!item) {
    item = new QTableWidgetItem;
    table->setItem(row, col, item);
  }
  return item;
}

template <typename F>
bool ForEachControl(QWidget* form, const Field& f, F apply) {
  if (f.kind == FieldKind::Hidden) return true;
  const QString name = QString::fromLatin1(f.control);
  if (f.InTable()) {
    auto* table = form->findChild<QTableWidget*>(name);
    if (!table || table->rowCount() < f.row + f.rows || table->columnCount() < f.col + f.cols) return false;
    for (int r = 0; r < f.rows; ++r)
      for (int c = 0; c < f.cols; ++c)
        if (!apply(static_cast<QWidget*>(table), CellItem(table, f.row + r, f.col + c), r, c)) return false;
    return true;
  }
  for (int i = 0; i < f.Count(); ++i) {
    const QString control = f.Count() > 1 ? QString::fromStdString(ecu::ElementControl(f, i)) : name;
    auto* widget = form->findChild<QWidget*>(control);
    if (!widget) return false;
    if (!apply(widget, nullptr, i / f.cols, i % f.cols)) return false;
  }
  return true;
}

}  // namespace

void MarkOutsideRange(QWidget* control, bool outside, const QString& shownValue) {
  if (!outside && !control->property("formToolTip").isValid()) return;  // never marked
  if (!control->property("formToolTip").isValid()) control->setProperty("formToolTip", control->toolTip());
  control->setToolTip(outside ? QString::fromStdString(ecu::OutsideRangeText(shownValue.toStdString()))
                              : control->property("formToolTip").toString());
  const QString style =
      outside ? QStringLiteral("QAbstractSpinBox { background: %1; }").arg(kOutsideColour.name()) : QString();
  if (control->styleSheet() != style) control->setStyleSheet(style);
}

QString CellText(const Field& field, double shown) {
  return QLocale::c().toString(shown, 'f', field.decimals);
}

void InstallCellEditor(QTableWidget* table) {
  if (!dynamic_cast<CellEditor*>(table->itemDelegate())) table->setItemDelegate(new CellEditor(table));
}

void FitTableHeight(QTableWidget* table, int rowHeight) {
  table->verticalHeader()->setDefaultSectionSize(rowHeight);
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  const int header =
      table->horizontalHeader()->isHidden() ? 0 : table->horizontalHeader()->sizeHint().height();
  table->setFixedHeight(rowHeight * table->rowCount() + header +
                        table->horizontalScrollBar()->sizeHint().height() + 2 * table->frameWidth());
}

uint8_t FieldBinding::Setup() {
  for (const Field& f : fields_) {
    const bool ok = ForEachControl(form_, f, [&f](QWidget* widget, QTableWidgetItem* item, int, int) {
      if (item) {
        InstallCellEditor(static_cast<QTableWidget*>(widget));
        item->setData(kMinRole, f.min);
        item->setData(kMaxRole, f.max);
        item->setData(kDecimalsRole, f.decimals);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
        return true;
      }
      if (f.kind == FieldKind::Numeric) {
        auto* box = qobject_cast<QDoubleSpinBox*>(widget);
        if (!box) return false;
        box->setDecimals(f.decimals);
        box->setRange(f.min, f.max);
        box->setSingleStep(f.decimals > 0 ? 1.0 / f.divisor : 1.0);
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        box->setKeyboardTracking(false);
        return true;
      }
      if (f.kind == FieldKind::Toggle) {
        auto* button = qobject_cast<QAbstractButton*>(widget);
        if (!button) return false;
        button->setCheckable(true);
        return true;
      }
      return qobject_cast<QComboBox*>(widget) != nullptr;
    });
    if (!ok) return 0;
  }
  return 1;
}

uint8_t FieldBinding::Scatter(const uint8_t* block) {
  for (const Field& f : fields_) {
    const bool ok = ForEachControl(form_, f, [&](QWidget* widget, QTableWidgetItem* item, int r, int c) {
      const int64_t raw = ecu::GetRaw(block, f, r, c);
      const double shown = ecu::ToShown(f, raw);
      if (item) {
        item->setText(CellText(f, ecu::ClampShown(f, shown)));
        if (f.kind == FieldKind::Numeric) MarkItem(item, f, raw);
        return true;
      }
      switch (f.kind) {
        case FieldKind::Numeric:
          static_cast<QDoubleSpinBox*>(widget)->setValue(shown);
          MarkWidget(widget, f, raw);
          return true;
        case FieldKind::Toggle:
          static_cast<QAbstractButton*>(widget)->setChecked(raw != 0);
          return true;
        case FieldKind::Ring: {
          auto* ring = static_cast<QComboBox*>(widget);
          int index = ring->findData(static_cast<int>(raw));
          if (index < 0) {
            // A byte the ring does not list stays as it is, shown by its number.
            ring->addItem(QStringLiteral("%1 (not listed)").arg(raw), static_cast<int>(raw));
            index = ring->count() - 1;
          }
          ring->setCurrentIndex(index);
          return true;
        }
        case FieldKind::Hidden:
          return true;
      }
      return false;
    });
    if (!ok) return 0;
  }
  return 1;
}

uint8_t FieldBinding::Gather(uint8_t* block) {
  for (const Field& f : fields_) {
    const bool ok = ForEachControl(form_, f, [&](QWidget* widget, QTableWidgetItem* item, int r, int c) {
      if (item) {
        bool number = false;
        const double shown = QLocale::c().toDouble(item->text().trimmed(), &number);
        if (!number) return false;
        // What nobody edited keeps its bytes, whatever its range or precision.
        if (f.kind != FieldKind::Numeric || !ecu::ShownUnedited(f, ecu::GetRaw(block, f, r, c), shown))
          ecu::SetShown(block, f, shown, r, c);
        return true;
      }
      switch (f.kind) {
        case FieldKind::Numeric: {
          auto* box = static_cast<QDoubleSpinBox*>(widget);
          box->interpretText();
          if (!ecu::ShownUnedited(f, ecu::GetRaw(block, f, r, c), box->value()))
            ecu::SetShown(block, f, box->value(), r, c);
          return true;
        }
        case FieldKind::Toggle: {
          // Any byte but 0 shows as on; an "on" the user left alone stays the byte it was.
          const bool on = static_cast<QAbstractButton*>(widget)->isChecked();
          if (on != (ecu::GetRaw(block, f, r, c) != 0)) ecu::SetRaw(block, f, on ? 1 : 0, r, c);
          return true;
        }
        case FieldKind::Ring: {
          const QVariant data = static_cast<QComboBox*>(widget)->currentData();
          if (!data.isValid()) return false;
          ecu::SetRaw(block, f, data.toInt(), r, c);
          return true;
        }
        case FieldKind::Hidden:
          return true;
      }
      return false;
    });
    if (!ok) return 0;
  }
  return 1;
}

QWidget* FieldBinding::Control(const QString& name) const {
  return form_->findChild<QWidget*>(name);
}

void FieldBinding::SetGroupVisible(uint8_t group, bool visible) {
  for (const Field& f : fields_) {
    if (f.group != group || f.kind == FieldKind::Hidden) continue;
    ForEachControl(form_, f, [visible](QWidget* widget, QTableWidgetItem*, int, int) {
      widget->setVisible(visible);
      return true;
    });
  }
}

}  // namespace params
