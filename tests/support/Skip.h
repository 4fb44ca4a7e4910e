#pragma once
// Tests that need something this machine may lack (an X display, an audio server) skip
// with VL_SKIP_UNAVAILABLE. The test program then ends with kSkipExitCode (when nothing
// failed), which CTest reports as skipped through the SKIP_RETURN_CODE property that
// vl_add_test sets: a run without a display never counts as a pass.
#include <gtest/gtest.h>

namespace vltest {

inline constexpr int kSkipExitCode = 77;

// Remembers that a test could not run here (TestMain.cpp reads it at the end).
void noteUnavailable();
bool unavailableNoted();

} // namespace vltest

// Skips the current test (a test body or SetUp) because what it needs is not there.
#define VL_SKIP_UNAVAILABLE(why)                                                                                       \
    do {                                                                                                               \
        ::vltest::noteUnavailable();                                                                                   \
        GTEST_SKIP() << why;                                                                                           \
    } while (0)
