// The main panel's own page (what "Info" brings back): its duty is the identity Ping.
#pragma once
#include "shell/pages.h"

namespace shell {

class MainPage : public Page {
 public:
  explicit MainPage(QWidget* widget) : widget_(widget) {}
  PageId Id() const override { return PageId::Main; }
  QWidget* Widget() override { return widget_; }

 private:
  QWidget* widget_;
};

}  // namespace shell
