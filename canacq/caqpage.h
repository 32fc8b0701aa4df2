// The CAN acquisition page: identifier and rate of the 20 frames, and the labels of
// their four channels from canlabel.ini.
#pragma once
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

#include "canacq/canacq.h"
#include "shell/pages.h"

class QComboBox;
class QLabel;
class QSpinBox;
class QWidget;

namespace Ui {
class CaqPanel;
}

namespace canacq {

// canlabel.ini beside the program; tests name another file.
QString CanLabelPath();
void SetCanLabelPath(const QString& path);  // empty restores the default

class CaqPage : public shell::Page {
 public:
  explicit CaqPage(QWidget* parent = nullptr);
  ~CaqPage() override;
  shell::PageId Id() const override { return shell::PageId::CanAcq; }
  QWidget* Widget() override { return widget_; }
  // InitCaqPanel: the form, the defaults into the block, then the labels (ReadCanLabels).
  uint8_t Init() override;
  // ScatterCaqPanel: rate ring and identifier of every frame.
  uint8_t Scatter() override;
  // GatherCaqPanel: the page's identifiers and rates into the block.
  uint8_t Gather() override;
  // CaqTimer is the identity Ping (Page::Timer).

  // Reads canlabel.ini into the channel labels; 0 when a control is missing.
  uint8_t ReadCanLabels();

  Ui::CaqPanel& Form() { return *form_; }

 private:
  // The fixed table of the frames' controls.
  struct FrameControls {
    QSpinBox* id = nullptr;
    QComboBox* rate = nullptr;
    QLabel* hex = nullptr;
    std::array<QLabel*, kCanChannels> channel{};
  };

  QWidget* parent_;
  QWidget* widget_ = nullptr;
  std::unique_ptr<Ui::CaqPanel> form_;
  std::array<FrameControls, kCanFrames> frames_;
  std::array<uint16_t, kCanFrames> scattered_{};  // the words as last shown
};

}  // namespace canacq
