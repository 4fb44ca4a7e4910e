#pragma once
// Stand-in for the instrument, compiled into a test copy of the plug-in entry so that
// the entry's failure paths can be driven. It asks its host how to behave through
// vendor-specific requests and reports its destruction the same way.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "vst/EffectFrame.h"

namespace vltest {
// Vendor-specific request indices understood by the entry test's host.
constexpr VstInt32 kAskReady = 0x52445921; // answer non-zero: construction succeeds
constexpr VstInt32 kAskThrow = 0x54485257; // answer non-zero: the constructor throws
constexpr VstInt32 kReportDestroyed = 0x44454144;
// Environment variable that makes the allocation of the instrument fail.
constexpr const char* kNoMemoryVariable = "VL_FAKE_INSTRUMENT_NO_MEMORY";
} // namespace vltest

namespace vl {

class Instrument : public ExtendedEffectFrame {
public:
    explicit Instrument(audioMasterCallback host) : ExtendedEffectFrame(host, 8, 13) {
        if (host(nullptr, audioMasterVendorSpecific, vltest::kAskThrow, 0, nullptr, 0.0f))
            throw std::runtime_error("construction failed");
        editorReady = host(nullptr, audioMasterVendorSpecific, vltest::kAskReady, 0, nullptr, 0.0f) != 0;
    }
    ~Instrument() override {
        hostCallback(nullptr, audioMasterVendorSpecific, vltest::kReportDestroyed, 0, nullptr, 0.0f);
    }

    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
        if (std::getenv(vltest::kNoMemoryVariable)) return nullptr;
        return ::operator new(size, std::nothrow);
    }
    static void operator delete(void* p) noexcept { ::operator delete(p); }
    // Matching placement delete: frees the memory when the constructor throws.
    static void operator delete(void* p, const std::nothrow_t&) noexcept { ::operator delete(p); }

    void process(float**, float**, VstInt32) override {}

    bool editorReady = false;
};

} // namespace vl
