#include "maps/ui/maptablemodel.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QPainter>
#include <cmath>

namespace maps {

MapTableModel::MapTableModel(Kind kind, QObject* parent) : QAbstractTableModel(parent), kind_(kind) {
  SetBaseFont(QFont());
}

void MapTableModel::SetBaseFont(const QFont& font) {
  font_ = font;
  bold_ = font;
  bold_.setBold(true);
}

void MapTableModel::Reload() {
  MapShape shape;
  const bool valid = CurrentShape(&shape);
  editable_ = kind_ == Kind::Matrix || shape.yEditable;
  for (int row = 0; row < Rows(); ++row) {
    for (int col = 0; col < Cols(); ++col) {
      const int i = Index(row, col);
      if (!valid) {
        text_[i].clear();
        differs_[i] = false;
      } else if (kind_ == Kind::Matrix) {
        text_[i] = QString::number(TableValue(row, col), 'f', row == 0 ? shape.precX : shape.precZ);
        differs_[i] = TableDiffers(row, col);
      } else {
        text_[i] = QString::number(YValue(row), 'f', shape.precY);
        differs_[i] = YDiffers(row);
      }
    }
  }
  previewed_.reset();
  emit dataChanged(index(0, 0), index(Rows() - 1, Cols() - 1));
}

void MapTableModel::SetPreview(const CellRect& rect, const std::vector<double>& values) {
  previewed_.reset();
  MapShape shape;
  CurrentShape(&shape);
  size_t k = 0;
  for (int row = rect.top; row <= rect.Bottom(); ++row)
    for (int col = rect.left; col <= rect.Right(); ++col, ++k) {
      if (row < 0 || row >= Rows() || col < 0 || col >= Cols() || k >= values.size()) continue;
      previewed_[Index(row, col)] = true;
      previewText_[Index(row, col)] = QString::number(values[k], 'f', shape.precZ);
    }
  emit dataChanged(index(0, 0), index(Rows() - 1, Cols() - 1));
}

void MapTableModel::ClearPreview() {
  if (previewed_.none()) return;
  previewed_.reset();
  emit dataChanged(index(0, 0), index(Rows() - 1, Cols() - 1));
}

void MapTableModel::SetShading(const std::vector<std::pair<int, int>>& cells) {
  shaded_.reset();
  for (const auto& [row, col] : cells)
    if (row >= 0 && row < Rows() && col >= 0 && col < Cols()) shaded_[Index(row, col)] = true;
  emit dataChanged(index(0, 0), index(Rows() - 1, Cols() - 1), {Qt::BackgroundRole});
}

bool MapTableModel::Shaded(int row, int col) const {
  return row >= 0 && row < Rows() && col >= 0 && col < Cols() && shaded_[Index(row, col)];
}

int MapTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Rows();
}

int MapTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Cols();
}

QVariant MapTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int i = Index(index.row(), index.column());
  switch (role) {
    case Qt::DisplayRole:
      return previewed_[i] ? previewText_[i] : text_[i];
    case Qt::EditRole:
      return text_[i];
    case Qt::ForegroundRole:
      return differs_[i] && !previewed_[i] ? ChangedColour() : QColor(Qt::black);
    case Qt::FontRole:
      return differs_[i] || previewed_[i] ? bold_ : font_;
    case Qt::BackgroundRole:
      if (shaded_[i]) return ShadeColour();
      if (kind_ == Kind::YAxis || index.row() == 0) return AxisColour();
      return {};
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    default:
      return {};
  }
}

bool MapTableModel::ParseTyped(const QString& text, double* value) {
  QString t = text.trimmed();
  if (!t.contains('.') && t.count(',') == 1) t.replace(',', '.');
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool MapTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || !editable_) return false;
  const QString typed = value.toString();
  if (typed.trimmed() == text_[Index(index.row(), index.column())]) return false;  // unchanged
  double v;
  if (!ParseTyped(typed, &v)) {
    if (onRefused) onRefused(typed);
    return false;
  }
  return onCommit ? onCommit(index.row(), index.column(), v) : false;
}

Qt::ItemFlags MapTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (editable_) f |= Qt::ItemIsEditable;
  return f;
}

void MapCellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  // Keep the value's own colour inside the selection, on a light blue.
  option->palette.setBrush(QPalette::HighlightedText, option->palette.brush(QPalette::Text));
  option->palette.setColor(QPalette::Highlight, QColor(0xB8, 0xD4, 0xF8));
  option->state &= ~QStyle::State_HasFocus;
}

void MapCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
  if (view && view->currentIndex() == index) {
    // The active cell is easy to find even while another control has the focus.
    painter->save();
    painter->setPen(QPen(view->hasFocus() ? QColor(0x10, 0x3C, 0x9C) : QColor(0x60, 0x78, 0xA8), 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
    painter->restore();
  }
}

}  // namespace maps
