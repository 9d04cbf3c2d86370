#pragma once
// The program's memory under mixed requests (status page, MCDU page and frameset, the picture, a
// key press, a missing page and a missing picture, in turn), with the simulator stand-in connected
// and the gauge end reading: the peak resident set after a first batch, and whether the resident
// set or its peak grow over the rest.

#include "bench/Report.h"

namespace txbench {

// Peak after `first` requests; growth from there to `total` (bounded to 120 s).
void Memory(int first, int total, Report& report);

}  // namespace txbench
