#pragma once
// Golden files: what the program must produce (a page, a table), kept byte for byte under
// tests/golden/ of the source tree rather than as string literals in the tests, so that a page is
// written out once and a change to it shows as a plain diff of a data file.
//
// With TX_UPDATE_GOLDEN=1 in the environment the check writes the file from the text it is given
// instead of comparing; that is for a deliberate change of the program's output only, made by
// hand and reviewed in the diff. Without it a missing file is a failure.

#include <gtest/gtest.h>

#include <string>

namespace txtest {

// Whether `actual` is byte for byte the golden file `name` (a name inside tests/golden/). On a
// difference the message gives where the first byte differs, with the bytes around it.
::testing::AssertionResult MatchesGolden(const std::string& name, const std::string& actual);

}  // namespace txtest
