// The two tables of the map editor as item models over the map block: the matrix
// table (X axis row and the 20 x 32 cells) and the Y-axis table. Reload() takes the
// current map's values and marks from the editing model in one pass ("written as a
// block"); painting reads only that cache. A preview overlay shows the value dialog's
// results in bold without touching the block, and a shading set greys the cells that a
// graph window has selected.
#pragma once
#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QString>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <bitset>
#include <functional>
#include <vector>

#include "ecudata/fieldkeep.h"
#include "maps/mapedit.h"

namespace maps {

class MapTableModel : public QAbstractTableModel {
 public:
  enum class Kind { Matrix, YAxis };
  explicit MapTableModel(Kind kind, QObject* parent = nullptr);

  // Takes the current map's values and marks; drops the preview.
  void Reload();
  // Shows `values` (row by row over `rect`, display units) in bold instead of the block's.
  void SetPreview(const CellRect& rect, const std::vector<double>& values);
  void ClearPreview();
  // Shows single cells in bold with the given values (table coordinates, display units).
  struct PreviewCell {
    int row, col;
    double value;
    QString tip = {};  // the cell's tooltip while it is previewed
  };
  void SetPreviewCells(const std::vector<PreviewCell>& cells);
  // Grey background on the given cells (table coordinates); an empty list clears it.
  void SetShading(const std::vector<std::pair<int, int>>& cells);
  bool Shaded(int row, int col) const;
  void SetBaseFont(const QFont& font);

  // A typed value: (row, col, display value); false refuses it (the cell shows its old value).
  std::function<bool(int, int, double)> onCommit;
  // A typed text that is not a number.
  std::function<void(const QString&)> onRefused;
  // Cells that differ from a comparison tune (read by Reload); none when empty.
  std::function<bool(int, int)> comparedMark;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  static QColor ChangedColour() { return QColor(0xFF, 0x00, 0x00); }
  static QColor ShadeColour() { return QColor(0xC0, 0xC0, 0xC0); }
  static QColor AxisColour() { return QColor(0xE4, 0xE9, 0xF0); }
  // The corner triangle of a cell that differs from the comparison tune.
  static QColor ComparedColour() { return QColor(0x00, 0x8C, 0x8C); }
  // A value beyond the limits this page sets (it came so with the block and is kept).
  static QColor OutsideColour() { return QColor::fromRgb(ecu::kOutsideRangeRgb); }
  // Parses a typed number: a decimal point or a single decimal comma.
  static bool ParseTyped(const QString& text, double* value);

  // What a cell looks like, for painting without going through QVariant roles.
  struct Look {
    const QStaticText* text;  // laid out once per change of text or weight
    bool differs, previewed, shaded, axis, outside, compared;
  };
  Look CellLook(int row, int col) const {
    const int i = Index(row, col);
    return {previewed_[i] ? &previewStatic_[i] : &static_[i],
            bool(differs_[i]),
            bool(previewed_[i]),
            bool(shaded_[i]),
            kind_ == Kind::YAxis || row == 0,
            bool(outside_[i]),
            bool(compared_[i])};
  }
  const QFont& BaseFont() const { return font_; }
  const QFont& BoldFont() const { return bold_; }

 private:
  static constexpr int kMaxCells = kTableRows * kMapCols;
  int Rows() const { return kind_ == Kind::Matrix ? kTableRows : kMapRows; }
  int Cols() const { return kind_ == Kind::Matrix ? kMapCols : 1; }
  int Index(int row, int col) const { return row * Cols() + col; }

  Kind kind_;
  bool editable_ = true;  // the Y table only on map 5
  QString text_[kMaxCells];
  std::bitset<kMaxCells> differs_, shaded_, previewed_, outside_, compared_;
  QString previewText_[kMaxCells];
  QString previewTip_[kMaxCells];
  QStaticText static_[kMaxCells], previewStatic_[kMaxCells];
  std::bitset<kMaxCells> staticBold_;
  void Prepare(QStaticText& st, const QString& text, bool bold);
  QFont font_, bold_;
};

// Paints the marks of the editor's tables: red and bold stay readable inside the
// selection (a light selection colour instead of the platform's dark one), and the
// active cell has a strong frame.
// Painting is direct (fill, text, frame): the 672 cells of a full map are drawn well
// within a frame.
class MapCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  static QColor SelectionColour() { return QColor(0xB8, 0xD4, 0xF8); }
};

}  // namespace maps
