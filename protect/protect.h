// Access protection: the password dialog's logic (log in, change with the erase
// warning, the key array derived from the typed text that every identification
// carries) and the lock of the traction-control page. Plain C++; the dialogs show.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace protect {

// The traction-control page's password held by the program.
inline constexpr char szDtcPwd[] = "Tr4cK740";
// The traction-control page is enabled (0 at every start).
extern uint8_t fEnableDtcPage;

inline constexpr int kPasswordSize = 15;
using Password = std::array<uint8_t, kPasswordSize>;

// A typed character's key byte: rotated left by one bit.
uint8_t DeriveKey(uint8_t c);
// The text as Windows-1252, cut to 15 bytes, zero-padded.
Password PaddedPassword(const std::string& text);

// Which byte of each pair of aProtectKeys carries the key.
enum class KeySlot { First, Second };

// The password dialog (hPwdPanel): its state and the three buttons.
class Protection {
 public:
  // InitPwdPanel: zeroes aProtectKeys.
  void Init();
  // DlgProtection: mode 1 the protection button (first byte, "Change" offered),
  // mode 0 the logo's hot spot (second byte, no "Change").
  void Open(int mode);

  // The buttons; each returns true when the dialog closes.
  bool SetPwdB(const std::string& typed);  // "Change"
  bool SetPwdA(const std::string& typed);  // "Log in" / "Confirm"
  bool Cancel();

  // What the dialog shows.
  std::string captionA = "Log in";
  bool visibleB = true;
  bool dimmedB = false;
  std::string fieldLabel = "Enter password:";
  bool focusField = false;  // the field should get the focus (taken by the dialog)

  KeySlot slot = KeySlot::First;
  bool changing = false;
  Password newPassword{};
  // The identification after new keys (Kestra's Ping); tests may replace it.
  std::function<uint8_t()> ping;
};

// DtcProtection on OK: 1 when the typed text (cut to 8 characters by the field,
// zero-padded) is szDtcPwd; otherwise shows "Invalid password!".
uint8_t DtcProtection(const std::string& typed);

}  // namespace protect
