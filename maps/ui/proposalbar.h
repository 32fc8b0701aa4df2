// A proposal of new injection cells (from a log) waiting in the map editor: a bar above
// the tables says where it came from and how many cells it changes, the cells show the
// proposed values in bold, and nothing reaches the block before "Apply".
#pragma once
#include <QString>
#include <QWidget>
#include <functional>

#include "logs/logmap.h"

class QLabel;
class QPushButton;

namespace maps {

class ProposalBar : public QWidget {
 public:
  explicit ProposalBar(QWidget* parent);

  void Offer(const logs::Proposal& proposal, int cylinder, const QString& source);
  void Drop();
  bool Pending() const { return pending_; }
  const logs::Proposal& Proposal() const { return proposal_; }
  int Cylinder() const { return cylinder_; }
  // The proposal for matrix cell (row 0..19, column), in the status line's words; empty
  // where it leaves the cell as it is.
  QString CellText(int row, int col, double divisor, int decimals) const;

  std::function<void()> onApply, onDiscard;
  QPushButton* ApplyButton() const { return apply_; }
  QPushButton* DiscardButton() const { return discard_; }

 private:
  logs::Proposal proposal_;
  int cylinder_ = 0;
  bool pending_ = false;
  QLabel* text_;
  QPushButton *apply_, *discard_;
};

}  // namespace maps
