#include "maps/ui/maptablemodel.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace maps {

MapTableModel::MapTableModel(Kind kind, QObject* parent) : QAbstractTableModel(parent), kind_(kind) {
  SetBaseFont(QFont());
}

void MapTableModel::SetBaseFont(const QFont& font) {
  font_ = font;
  bold_ = font;
  bold_.setBold(true);
  for (int i = 0; i < kMaxCells; ++i) Prepare(static_[i], text_[i], staticBold_[i]);
}

void MapTableModel::Prepare(QStaticText& st, const QString& text, bool bold) {
  st.setTextFormat(Qt::PlainText);
  st.setText(text);
  st.prepare(QTransform(), bold ? bold_ : font_);
}

void MapTableModel::Reload() {
  MapShape shape;
  const bool valid = CurrentShape(&shape);
  editable_ = kind_ == Kind::Matrix || shape.yEditable;
  for (int row = 0; row < Rows(); ++row) {
    for (int col = 0; col < Cols(); ++col) {
      const int i = Index(row, col);
      QString text;
      if (!valid) {
        differs_[i] = false;
        outside_[i] = false;
      } else if (kind_ == Kind::Matrix) {
        const double v = TableValue(row, col);
        text = QString::number(v, 'f', row == 0 ? shape.precX : shape.precZ);
        differs_[i] = TableDiffers(row, col);
        double lo = 0, hi = 0;
        TableLimits(row, &lo, &hi);
        outside_[i] = v < lo || v > hi;
      } else {
        const double v = YValue(row);
        text = QString::number(v, 'f', shape.precY);
        differs_[i] = YDiffers(row);
        outside_[i] = shape.yEditable && (v < shape.minY || v > shape.maxY);
      }
      compared_[i] = valid && comparedMark && comparedMark(row, col);
      if (text != text_[i] || differs_[i] != staticBold_[i]) {
        text_[i] = text;
        staticBold_[i] = differs_[i];
        Prepare(static_[i], text, differs_[i]);
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
      previewTip_[Index(row, col)].clear();
      previewText_[Index(row, col)] = QString::number(values[k], 'f', shape.precZ);
      Prepare(previewStatic_[Index(row, col)], previewText_[Index(row, col)], true);
    }
  emit dataChanged(index(0, 0), index(Rows() - 1, Cols() - 1));
}

void MapTableModel::SetPreviewCells(const std::vector<PreviewCell>& cells) {
  previewed_.reset();
  MapShape shape;
  CurrentShape(&shape);
  for (const PreviewCell& c : cells) {
    if (c.row < 0 || c.row >= Rows() || c.col < 0 || c.col >= Cols()) continue;
    const int i = Index(c.row, c.col);
    previewed_[i] = true;
    previewText_[i] = QString::number(c.value, 'f', shape.precZ);
    previewTip_[i] = c.tip;
    Prepare(previewStatic_[i], previewText_[i], true);
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
    case Qt::ToolTipRole:
      if (previewed_[i] && !previewTip_[i].isEmpty()) return previewTip_[i];
      if (outside_[i]) return QString::fromStdString(ecu::OutsideRangeText(text_[i].toStdString()));
      return {};
    case Qt::BackgroundRole:
      if (shaded_[i]) return ShadeColour();
      if (outside_[i]) return OutsideColour();
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

void MapCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const auto* model = dynamic_cast<const MapTableModel*>(index.model());
  if (!model) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  const MapTableModel::Look look = model->CellLook(index.row(), index.column());
  const bool selected = option.state & QStyle::State_Selected;
  QColor background = option.palette.color(QPalette::Base);
  if (look.axis) background = MapTableModel::AxisColour();
  if (look.outside) background = MapTableModel::OutsideColour();
  if (look.shaded) background = MapTableModel::ShadeColour();
  if (selected) background = SelectionColour();
  painter->fillRect(option.rect, background);
  painter->setFont(look.differs || look.previewed ? model->BoldFont() : model->BaseFont());
  painter->setPen(look.differs && !look.previewed ? MapTableModel::ChangedColour() : QColor(Qt::black));
  const QSizeF size = look.text->size();
  painter->drawStaticText(QPointF(option.rect.right() - 4 - size.width(),
                                  option.rect.top() + (option.rect.height() - size.height()) / 2.0),
                          *look.text);
  if (look.compared) {
    // A corner of its own: red and bold already mean "changed since the reference copy".
    const QRect r = option.rect;
    const qreal side = std::min(r.height() * 0.5, 9.0);
    const QPointF corner(r.left() + 1, r.top() + 1);
    const QPointF triangle[3] = {corner, corner + QPointF(side, 0), corner + QPointF(0, side)};
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(MapTableModel::ComparedColour());
    painter->drawPolygon(triangle, 3);
    painter->restore();
  }
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
