// Request/response framing. Every exchange is one request frame and at most one
// reply frame carrying the same command code. Kestra uses the application frame,
// Kalvex the boot frame; the program picks its layout once at start.
//
//   ApplicationFrame: 0x55, n, command, payload[n], (n + command + sum) mod 256
//   BootFrame:        0x6A, (command + n + sum) mod 256, command, n, payload[n]
#pragma once
#include <cstddef>
#include <cstdint>

namespace com {

enum FrameLayout : uint8_t { ApplicationFrame, BootFrame };

inline constexpr uint8_t kAppStart = 0x55;
inline constexpr uint8_t kBootStart = 0x6A;
inline constexpr size_t kFrameBufferSize = 260;

extern FrameLayout frameLayout;  // ApplicationFrame unless the program says otherwise

// Builds a frame into `out` (at least n + 4 bytes); returns its length.
size_t EncodeFrame(FrameLayout layout, uint8_t command, const uint8_t* payload, uint8_t n, uint8_t* out);

// Writes one request frame. 1 when the whole frame was handed to the driver, else 0.
uint8_t TxCommand(uint8_t command, const uint8_t* payload, uint8_t length);

// Reads one reply for `command`: 0 complete and well formed (payload in `reply`,
// its length in *receivedLength), 1 nothing arrived, -1 anything else.
int32_t RxResponse(uint8_t command, uint8_t* reply, uint8_t maxLength, uint8_t* receivedLength);

// Polled read: repeats RxResponse while it returns 1 and the window since `start`
// (a Timer() value) has not passed. 0 success, -1 failure or time-out.
int32_t RxResponsePolled(uint8_t command, uint8_t* reply, uint8_t maxLength, uint8_t* receivedLength,
                         double start, double window);

}  // namespace com
