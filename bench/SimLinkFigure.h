#pragma once
// The simulator link: from starting the stand-in to "FSX online." in the program's log, at random
// points of the program's 1 s presence timer; and from "/pause" (or "/resume") to the stand-in's
// log holding the client event it was sent.

#include "bench/Report.h"

namespace txbench {

// `rounds` fresh programs for the link's coming up; `pauses` requests alternating pause and resume.
void SimLink(int rounds, int pauses, Report& report);

}  // namespace txbench
