#include "link/userio.h"

namespace com {

void HeadlessUserIo::MessagePopup(const std::string& title, const std::string& text) {
  lastTitle = title;
  lastMessage = text;
}

std::string HeadlessUserIo::GetConfigName(int type) {
  if (type == 1) return parName_;
  if (type == 2) return mapName_;
  return "_Ooops!_";
}

void HeadlessUserIo::ShowConfigName(const std::string& text, int type) {
  if (type == 1) parName_ = text;
  if (type == 2) mapName_ = text;
}

namespace {
HeadlessUserIo headless;
UserIo* current = &headless;
}  // namespace

UserIo& Ui() {
  return *current;
}
void SetUi(UserIo* ui) {
  current = ui ? ui : &headless;
}

}  // namespace com
