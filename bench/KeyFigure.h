#pragma once
// The key press figure: from the browser's request for a key to the gauge end holding the key's
// message, with the simulator stand-in connected (offline, a key gets the offline page and no
// key). The peer is nginx answering the same head from a file, timed to the first byte of its
// answer, press by press in the same rounds.

#include "bench/Report.h"

namespace txbench {

// `rounds` rounds of `presses` presses each, on fresh connections; bounded to 120 s.
void KeyPressLatency(int presses, int rounds, Report& report);

}  // namespace txbench
