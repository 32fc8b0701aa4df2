// The records the ECU sends to the live and diagnostics pages, as they arrive on the
// line: live records (command 7), equipment records (command 31), the diagnostic
// status and parameter records (commands 16, 17) and the password answer (19).
//
// Input: byte 0 selects the exchange, byte 1 says whether the payload is framed
// correctly (else the bytes arrive as they are); the rest is the reply payload.
// Everything the pages would show is formatted, so any read beyond a record is caught.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "diagnostics/diagnost.h"
#include "link/com.h"
#include "link/frame.h"
#include "link/pipeport.h"
#include "link/utils.h"
#include "live/datalog.h"
#include "live/live.h"

namespace {

com::PipePort* linePipe = nullptr;
double fakeClock = 0.0;

void OpenPipe() {
  com::SetPortFactory([](const com::PortItem&, std::string*) {
    auto port = std::make_unique<com::PipePort>();
    linePipe = port.get();
    return port;
  });
  com::InitPortList({}, false);
  com::OpenComPort();
  if (!com::isComOpen || linePipe == nullptr) std::abort();
  com::SetTimerSource([] { return fakeClock += 0.25; });
}

size_t Touch(const std::string& text) {
  return text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  if (linePipe == nullptr) OpenPipe();
  static const uint8_t commands[] = {7, 31, 16, 17, 19, 15};
  const uint8_t which = data[0] % sizeof commands, command = commands[which];
  const bool framed = data[1] & 1;
  data += 2;
  size -= 2;
  linePipe->PrepareWrite();
  // Every request drops what is unread (as the serial port does), so the reply is fed
  // from the peer when the request goes out.
  std::string payload(reinterpret_cast<const char*>(data), size);
  linePipe->SetPeer([command, framed, payload](const uint8_t*, size_t) {
    if (framed) {
      uint8_t frame[com::kFrameBufferSize];
      const uint8_t n = static_cast<uint8_t>(payload.size() > 255 ? 255 : payload.size());
      linePipe->Feed(frame, com::EncodeFrame(com::ApplicationFrame, command,
                                             reinterpret_cast<const uint8_t*>(payload.data()), n, frame));
    } else {
      linePipe->Feed(reinterpret_cast<const uint8_t*>(payload.data()), payload.size());
    }
  });

  size_t shown = 0;
  if (command == 7) {
    live::LiveModel model;
    model.LiveExchange();
    shown += Touch(live::CsvRow(1.0, model.record));
  } else if (command == 31 || command == 15) {
    live::LiveModel model;
    model.RefreshLiveConfig();
    const live::LiveControlStates states = live::ControlStates(model.config);
    shown += states.enabled.size() + Touch(states.bikeText) + Touch(model.config.ecuMap1);
  } else {
    dgn::DiagModel model;
    model.pwdRead = command != 17;
    if (command == 19) model.LogIn("abc");
    if (command == 17) model.WriteDiagParam(0, 0, 0);
    if (command == 16) model.DgnTimer();
    for (const dgn::StatusField& f : dgn::StatusFields()) shown += Touch(model.StatusText(f));
    for (const dgn::ParamField& f : dgn::ParamFields()) shown += Touch(model.ParamText(f));
  }
  linePipe->SetPeer({});
  (void)shown;
  return 0;
}
