#pragma once
// The timed requests that the Linux figures and the Windows build's share: a key press from the
// browser to the gauge, the first byte of an answer, and a batch of requests for a rate.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "bench/TimedGauge.h"

namespace txbench {

// One key press on a fresh connection to `port`: microseconds from just before the request head
// is sent (after the connect) to the gauge end having both bytes of the key's message; nothing when
// it failed. The gauge end is drained first, and a probe or close message that comes before the
// key is passed over.
std::optional<double> PressKey(int port, const std::string& path, TimedGauge& gauge);

// Microseconds from sending the request head to the first byte of the answer, which must then be
// whole and a 2xx. For a key the program answers once the pipe write has returned, so this is the
// key's round trip without the gauge end's hop; with a `gauge`, the key's bytes are awaited there
// before the next request.
std::optional<double> FirstAnswerByte(int port, const std::string& path, TimedGauge* gauge);

// Any body length will do.
inline constexpr size_t kAnySize = static_cast<size_t>(-1);
// Requests per second over one batch of `count` fresh connections (bounded to 20 s). A request
// that fails, or whose body is not `expectedBody` bytes long, counts in `failures`.
double Rate(int port, const std::string& path, int count, size_t expectedBody, int* failures);

// The key paths the presses go through in turn: "/MCDU_KB_12" to "/MCDU_KB_21".
std::string KeyPath(int press);

}  // namespace txbench
