// At the end of a test program, cairo's and fontconfig's process-wide caches (font faces,
// the font configuration) are given back, so that the leak checker of the sanitizer
// builds sees only what the toolkit itself failed to free.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

namespace {

class CairoCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        cairo_debug_reset_static_data();
        FcFini();
    }
};

[[maybe_unused]] ::testing::Environment* const cleanup = ::testing::AddGlobalTestEnvironment(new CairoCleanup);

} // namespace
