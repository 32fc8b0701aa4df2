// A user interface for model tests: records every pop-up, dialog, progress update and
// cursor change, and answers questions and file dialogs from queues (an empty queue
// answers "no", 0 or Cancelled). Installing it makes it com::Ui() until destruction.
#pragma once
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "link/userio.h"

namespace testing_ui {

struct Popup {
  std::string kind;  // "message", "confirm", "buttons"
  std::string title;
  std::string text;
  std::vector<std::string> buttons;
};

class ScriptedUi : public com::HeadlessUserIo {
 public:
  ScriptedUi() { com::SetUi(this); }
  ~ScriptedUi() override { com::SetUi(nullptr); }
  ScriptedUi(const ScriptedUi&) = delete;
  ScriptedUi& operator=(const ScriptedUi&) = delete;

  void MessagePopup(const std::string& title, const std::string& text) override {
    popups.push_back({"message", title, text, {}});
    HeadlessUserIo::MessagePopup(title, text);
  }
  bool ConfirmPopup(const std::string& title, const std::string& text) override {
    popups.push_back({"confirm", title, text, {}});
    if (confirms.empty()) return false;
    bool answer = confirms.front();
    confirms.pop_front();
    return answer;
  }
  int ButtonPopup(const std::string& title, const std::string& text, const std::string& b1,
                  const std::string& b2, const std::string& b3) override {
    popups.push_back({"buttons", title, text, {b1, b2, b3}});
    if (buttons.empty()) return 0;
    int answer = buttons.front();
    buttons.pop_front();
    return answer;
  }
  com::FileSelect FileSelectPopup(const com::FileDialog& dialog, std::string& path) override {
    dialogs.push_back(dialog);
    if (files.empty()) return com::FileSelect::Cancelled;
    auto answer = files.front();
    files.pop_front();
    path = answer.second;
    return answer.first;
  }
  void SetProgressBar(uint32_t done, uint32_t total) override { progress.emplace_back(done, total); }
  void SetMouseCursor(int cursor) override {
    cursors.push_back(cursor);
    HeadlessUserIo::SetMouseCursor(cursor);
  }

  std::vector<Popup> popups;
  std::deque<bool> confirms;
  std::deque<int> buttons;
  std::deque<std::pair<com::FileSelect, std::string>> files;
  std::vector<com::FileDialog> dialogs;
  std::vector<std::pair<uint32_t, uint32_t>> progress;
  std::vector<int> cursors;
};

}  // namespace testing_ui
