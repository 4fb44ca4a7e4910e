// The main of every test program: GoogleTest's, except that a program in which a test
// could not run for want of a display or server (VL_SKIP_UNAVAILABLE) and none failed
// ends with kSkipExitCode, so that CTest shows it skipped rather than passed.
#include <atomic>

#include <gtest/gtest.h>

#include "tests/support/Skip.h"

namespace vltest {
namespace {
std::atomic<bool> unavailable{false};
} // namespace

void noteUnavailable() { unavailable = true; }
bool unavailableNoted() { return unavailable; }

} // namespace vltest

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result == 0 && vltest::unavailableNoted()) return vltest::kSkipExitCode;
    return result;
}
