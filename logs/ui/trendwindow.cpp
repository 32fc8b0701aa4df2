#include "logs/ui/trendwindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include "logs/ui/timeplot.h"

namespace logs {

namespace {
constexpr int kFrameMs = 33;  // at most 30 frames a second
}

TrendWindow::TrendWindow(std::vector<std::string> names, QWidget* parent)
    : QWidget(parent, Qt::Window), log_(std::move(names), kSpans[std::size(kSpans) - 1]) {
  setObjectName(QStringLiteral("TrendWindow"));
  setWindowTitle(QStringLiteral("Live Trends"));
  resize(1100, 700);
  auto* side = new QWidget(this);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  search_ = new QLineEdit(side);
  search_->setPlaceholderText(QStringLiteral("Search channels"));
  search_->setClearButtonEnabled(true);
  list_ = new QListWidget(side);
  list_->setToolTip(QStringLiteral("Double-click a channel to add it to the chosen plot"));
  auto* laneRow = new QHBoxLayout;
  lane_ = new QComboBox(side);
  for (int l = 1; l <= TimePlot::kMaxLanes; ++l) lane_->addItem(QString("Plot %1").arg(l));
  auto* clear = new QPushButton(QStringLiteral("Clear Plot"), side);
  laneRow->addWidget(new QLabel(QStringLiteral("Add to"), side));
  laneRow->addWidget(lane_);
  laneRow->addWidget(clear);
  sideLayout->addWidget(search_);
  sideLayout->addWidget(list_, 1);
  sideLayout->addLayout(laneRow);

  plot_ = new TimePlot(this);
  plot_->setObjectName(QStringLiteral("PLOTtrends"));
  plot_->SetEmptyText(QStringLiteral("Waiting for live records (the link must be open)"));
  auto* top = new QHBoxLayout;
  span_ = new QComboBox(this);
  span_->setObjectName(QStringLiteral("RINGtrendSpan"));
  for (const char* text : {"Last 30 s", "Last 2 min", "Last 10 min"})
    span_->addItem(QString::fromLatin1(text));
  top->addWidget(new QLabel(QStringLiteral("Show"), this));
  top->addWidget(span_);
  top->addStretch(1);
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(side);
  split->addWidget(plot_);
  split->setStretchFactor(1, 1);
  split->setSizes({170, 900});
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(split, 1);

  // The plot views the rolling log in place (it lives as long as this window).
  plot_->SetLog(std::shared_ptr<const Log>(std::shared_ptr<const Log>(), &log_.Data()));
  plot_->SetLanes(TimePlot::DefaultLanes(log_.Data()));
  TimePlot::FillChannelList(list_, log_.Data());
  SetSpan(kSpans[0]);

  connect(search_, &QLineEdit::textChanged, this,
          [this](const QString& text) { TimePlot::FilterChannelList(list_, text); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    plot_->AddChannel(lane_->currentIndex(), item->data(Qt::UserRole).toInt());
  });
  connect(clear, &QPushButton::clicked, this, [this] { plot_->ClearLane(lane_->currentIndex()); });
  connect(span_, &QComboBox::currentIndexChanged, this,
          [this](int i) { SetSpan(kSpans[static_cast<size_t>(std::clamp(i, 0, 2))]); });
  frame_ = new QTimer(this);
  frame_->setInterval(kFrameMs);
  connect(frame_, &QTimer::timeout, this, [this] { Redraw(); });
  frame_->start();
}

void TrendWindow::SetSpan(double seconds) {
  plot_->SetFollow(seconds);
  const int i = seconds <= kSpans[0] ? 0 : seconds <= kSpans[1] ? 1 : 2;
  if (span_->currentIndex() != i) span_->setCurrentIndex(i);
  plot_->DataAppended();
}

void TrendWindow::Append(double time, const std::vector<float>& values) {
  log_.Append(time, values);
  appended_ = true;
}

void TrendWindow::Clear() {
  log_.Clear();
  plot_->update();
}

void TrendWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (onClosed) onClosed();
}

void TrendWindow::Redraw() {
  if (!appended_ || !isVisible()) return;
  appended_ = false;
  plot_->DataAppended();
  plot_->repaint();
  ++frames_;
}

}  // namespace logs
