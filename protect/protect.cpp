#include "protect/protect.h"

#include <algorithm>
#include <cstring>

#include "link/com.h"
#include "link/commands.h"
#include "link/cp1252.h"
#include "link/frame.h"
#include "link/userio.h"
#include "link/utils.h"
#include "shell/connection.h"

namespace protect {

uint8_t fEnableDtcPage = 0;

namespace {
constexpr const char kTitle[] = "Protection";
}

uint8_t DeriveKey(uint8_t c) {
  return static_cast<uint8_t>((c << 1) | (c >> 7));
}

Password PaddedPassword(const std::string& text) {
  Password p{};
  const std::string raw = com::ToCp1252(text, kPasswordSize);
  std::copy_n(raw.begin(), std::min<size_t>(raw.size(), kPasswordSize), p.begin());
  return p;
}

void Protection::Init() {
  std::memset(shell::aProtectKeys, 0, sizeof shell::aProtectKeys);
}

void Protection::Open(int mode) {
  slot = mode == 0 ? KeySlot::Second : KeySlot::First;
  visibleB = mode != 0;
  captionA = "Log in";
  dimmedB = com::isComOpen == 0;
  fieldLabel = "Enter password:";
  changing = false;
  focusField = true;
}

bool Protection::SetPwdB(const std::string& typed) {
  if (shell::CheckfBusy()) return false;
  captionA = "Confirm";
  visibleB = false;
  newPassword = PaddedPassword(typed);
  fieldLabel = "Re-enter password:";
  focusField = true;
  changing = true;
  return false;
}

bool Protection::SetPwdA(const std::string& typed) {
  if (shell::CheckfBusy()) return false;
  const Password entry = PaddedPassword(typed);
  Password keys{};
  bool mismatch = false;
  for (int i = 0; i < kPasswordSize; ++i) {
    if (changing && entry[i] != newPassword[i]) {
      com::Ui().MessagePopup("Error!", "Typed passwords do not match...");
      mismatch = true;
      break;
    }
    keys[i] = DeriveKey(entry[i]);
  }

  bool failed = false, declined = false;
  if (changing && !mismatch) {
    if (!com::Ui().ConfirmPopup("Warning!", "All configurations will be erased...")) {
      declined = true;  // nothing is sent, the keys stay as they are
    } else if (!com::isComOpen) {
      failed = true;
    } else {
      const int cursor = com::Ui().GetMouseCursor();
      com::Ui().SetMouseCursor(com::kCursorWait);
      uint8_t length = 0;
      // The ECU takes the typed characters; the keys are derived from them on both sides.
      failed = !com::TxCommand(com::WriteProtectKeys, newPassword.data(), kPasswordSize) ||
               com::RxResponsePolled(com::WriteProtectKeys, nullptr, 0, &length, com::Timer(),
                                     com::kPollWriteProtectKeys) != 0;
      com::Ui().SetMouseCursor(cursor);
    }
  }
  if (!failed && !mismatch && !declined) {
    const int first = slot == KeySlot::First ? 0 : 1;
    for (int i = 0; i < kPasswordSize; ++i) {
      shell::aProtectKeys[2 * i + first] = keys[i];
      shell::aProtectKeys[2 * i + 1 - first] = 0;
    }
    const auto& identify = ping ? ping : std::function<uint8_t()>(shell::Ping);
    if (!identify() && !identify()) failed = true;
  }
  if (failed) {
    com::Ui().MessagePopup(kTitle, shell::szGenericError);
  } else if (!changing && shell::fEcuProtected) {
    com::Ui().MessagePopup(kTitle, "Invalid password!");
  }
  changing = false;
  return true;
}

bool Protection::Cancel() {
  if (shell::CheckfBusy()) return false;
  changing = false;
  return true;
}

uint8_t DtcProtection(const std::string& typed) {
  std::array<char, 9> entry{};
  std::copy_n(typed.begin(), std::min<size_t>(typed.size(), 8), entry.begin());
  std::array<char, 9> expected{};
  std::copy_n(szDtcPwd, 8, expected.begin());
  // The field takes at most 8 characters: a longer text never matches.
  if (typed.size() <= 8 && entry == expected) {
    fEnableDtcPage = 1;
    return 1;
  }
  fEnableDtcPage = 0;
  com::Ui().MessagePopup("DTC Protection", "Invalid password!");
  return 0;
}

}  // namespace protect
