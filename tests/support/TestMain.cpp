// The main of every test program: GoogleTest's, except that a program in which a test
// could not run for want of a display or server (VL_SKIP_UNAVAILABLE) and none failed
// ends with kSkipExitCode, so that CTest shows it skipped rather than passed. A program
// whose windows need an X display (VL_TEST_NEEDS_DISPLAY, set by vl_add_test for the
// Windows window tests under wine) ends so at once when $DISPLAY is not set.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/support/Skip.h"

namespace vltest {
namespace {
std::atomic<bool> unavailable{false};
} // namespace

void noteUnavailable() { unavailable = true; }
bool unavailableNoted() { return unavailable; }

} // namespace vltest

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    if (std::getenv("VL_TEST_NEEDS_DISPLAY") && (!display || !*display)) {
        std::printf("skipped: the windows of these tests need an X display (run under xvfb-run)\n");
        return vltest::kSkipExitCode;
    }
    const int result = RUN_ALL_TESTS();
    if (result == 0 && vltest::unavailableNoted()) return vltest::kSkipExitCode;
    return result;
}
