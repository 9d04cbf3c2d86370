#pragma once
// The sequential request rates against nginx: one request per connection, read as a browser reads
// a connection it drops, for the status page, the MCDU page and the 20 KB picture. nginx serves
// the program's own bytes from the program's settings folder; batches of the two alternate, so
// that whatever else the machine does falls on both alike.

#include "bench/Report.h"

namespace txbench {

// `rounds` alternating batches of `perBatch` requests per server and path; their medians.
void RequestRates(int perBatch, int rounds, Report& report);

}  // namespace txbench
