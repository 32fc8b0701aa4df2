#include "link/frame.h"

#include "link/com.h"
#include "link/utils.h"

namespace com {

FrameLayout frameLayout = ApplicationFrame;

namespace {
uint8_t txRxBuffer[kFrameBufferSize];

int ReadBytes(uint8_t* data, size_t n) {
  Port* port = ActivePort();
  if (!port) return -1;
  return port->Read(data, n);
}

int32_t RxApplication(uint8_t command, uint8_t* reply, uint8_t maxLength, uint8_t* receivedLength) {
  int got = ReadBytes(txRxBuffer, 3);
  if (got < 0) return -1;
  if (got == 0) return 1;
  if (got != 3) return -1;
  if (txRxBuffer[0] != kAppStart) return -1;
  uint8_t n = txRxBuffer[1];
  if (n > maxLength) return -1;
  if (receivedLength) *receivedLength = n;
  if (txRxBuffer[2] != command) return -1;
  got = ReadBytes(txRxBuffer, static_cast<size_t>(n) + 1);
  if (got < 0) return -1;
  if (got == 0) return 1;
  if (got != n + 1) return -1;
  uint8_t sum = static_cast<uint8_t>(n + command);
  for (int i = 0; i < n; ++i) {
    reply[i] = txRxBuffer[i];
    sum = static_cast<uint8_t>(sum + txRxBuffer[i]);
  }
  return sum == txRxBuffer[n] ? 0 : -1;
}

int32_t RxBoot(uint8_t command, uint8_t* reply, uint8_t maxLength, uint8_t* receivedLength) {
  int got = ReadBytes(txRxBuffer, 4);
  if (got < 0) return -1;
  if (got == 0) return 1;
  if (got != 4) return -1;
  if (txRxBuffer[0] != kBootStart) return -1;
  if (txRxBuffer[2] != command) return -1;
  uint8_t n = txRxBuffer[3];
  if (n > maxLength) return -1;
  if (receivedLength) *receivedLength = n;
  uint8_t expected = txRxBuffer[1];
  if (n > 0) {
    got = ReadBytes(txRxBuffer, n);
    if (got != n) return -1;
  }
  uint8_t sum = static_cast<uint8_t>(command + n);
  for (int i = 0; i < n; ++i) {
    reply[i] = txRxBuffer[i];
    sum = static_cast<uint8_t>(sum + txRxBuffer[i]);
  }
  return sum == expected ? 0 : -1;
}
}  // namespace

size_t EncodeFrame(FrameLayout layout, uint8_t command, const uint8_t* payload, uint8_t n, uint8_t* out) {
  uint8_t sum = static_cast<uint8_t>(command + n);
  const size_t at = layout == ApplicationFrame ? 3 : 4;
  for (int i = 0; i < n; ++i) {
    out[at + i] = payload[i];
    sum = static_cast<uint8_t>(sum + payload[i]);
  }
  if (layout == ApplicationFrame) {
    out[0] = kAppStart;
    out[1] = n;
    out[2] = command;
    out[3 + n] = sum;
  } else {
    out[0] = kBootStart;
    out[1] = sum;
    out[2] = command;
    out[3] = n;
  }
  return static_cast<size_t>(n) + 4;
}

uint8_t TxCommand(uint8_t command, const uint8_t* payload, uint8_t length) {
  if (length != 0 && payload == nullptr) return 0;
  Port* port = ActivePort();
  if (!port) return 0;
  size_t total = EncodeFrame(frameLayout, command, payload, length, txRxBuffer);
  if (!port->PrepareWrite()) return 0;
  if (port->Write(txRxBuffer, total) < 0) return 0;
  return 1;
}

int32_t RxResponse(uint8_t command, uint8_t* reply, uint8_t maxLength, uint8_t* receivedLength) {
  if (maxLength != 0 && reply == nullptr) return -1;
  return frameLayout == ApplicationFrame ? RxApplication(command, reply, maxLength, receivedLength)
                                         : RxBoot(command, reply, maxLength, receivedLength);
}

int32_t RxResponsePolled(uint8_t command, uint8_t* reply, uint8_t maxLength, uint8_t* receivedLength,
                         double start, double window) {
  for (;;) {
    int32_t rc = RxResponse(command, reply, maxLength, receivedLength);
    if (rc != 1) return rc;
    if (Timer() - start > window) return -1;
  }
}

}  // namespace com
