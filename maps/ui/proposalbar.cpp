#include "maps/ui/proposalbar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <cmath>

#include "link/numberformat.h"

namespace maps {

ProposalBar::ProposalBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PROPOSALbar"));
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(0xFF, 0xF4, 0xCC));
  setPalette(p);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 3, 6, 3);
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("TMproposal"));
  apply_ = new QPushButton(QStringLiteral("Apply"), this);
  apply_->setObjectName(QStringLiteral("CBproposalApply"));
  apply_->setToolTip(
      QStringLiteral("Write the proposed cells into the map (one step: Ctrl+Z takes it back)"));
  discard_ = new QPushButton(QStringLiteral("Discard"), this);
  discard_->setObjectName(QStringLiteral("CBproposalDiscard"));
  row->addWidget(text_, 1);
  row->addWidget(apply_);
  row->addWidget(discard_);
  connect(apply_, &QPushButton::clicked, this, [this] {
    if (onApply) onApply();
  });
  connect(discard_, &QPushButton::clicked, this, [this] {
    if (onDiscard) onDiscard();
  });
  hide();
}

void ProposalBar::Offer(const logs::Proposal& proposal, int cylinder, const QString& source) {
  proposal_ = proposal;
  cylinder_ = cylinder;
  pending_ = true;
  int enough = 0;
  for (size_t c = 0; c < proposal.count.size(); ++c)
    enough += proposal.after[c] != proposal.before[c] ? 1 : 0;
  text_->setText(QString("<b>Proposal</b> for injection cyl. %1 from %2 (%3): %4 cell%5 to change, shown in "
                         "bold. Nothing is written before Apply.")
                     .arg(cylinder + 1)
                     .arg(source.toHtmlEscaped(), QString::fromStdString(proposal.lambdaChannel))
                     .arg(enough)
                     .arg(enough == 1 ? "" : "s"));
  show();
}

void ProposalBar::Drop() {
  pending_ = false;
  hide();
}

QString ProposalBar::CellText(int row, int col, double divisor, int decimals) const {
  if (!pending_ || row < 0 || col < 0) return {};
  const size_t c = static_cast<size_t>(row * kMapCols + col);
  if (c >= proposal_.after.size()) return {};
  const uint32_t n = proposal_.count[c];
  if (proposal_.after[c] == proposal_.before[c])
    return QString("Proposal: cell kept (%1 record%2)").arg(n).arg(n == 1 ? "" : "s");
  const double before = proposal_.before[c] / divisor, after = proposal_.after[c] / divisor;
  const double percent = proposal_.before[c] != 0 ? 100.0 * (after - before) / before : 0;
  return QString("Proposal: %1 -> %2 (%3%4 %), %5 records, mean reading/target %6")
      .arg(com::FixedQText(before, decimals), com::FixedQText(after, decimals), percent >= 0 ? "+" : "",
           com::FixedQText(percent, 1))
      .arg(n)
      .arg(com::FixedQText(proposal_.ratio[c], 3));
}

}  // namespace maps
