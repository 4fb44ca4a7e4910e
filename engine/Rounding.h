#pragma once
// Round to the nearest integer, ties to even, under the default rounding mode: the same
// result as std::nearbyint for every float whose rounded value fits in int32, without a
// library call. On x86 this is the single cvtss2si instruction.
#include <cmath>
#include <cstdint>
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define VL_HAVE_SSE2 1
#endif

namespace vl {

inline int32_t roundToEven(float x) {
#ifdef VL_HAVE_SSE2
    return _mm_cvtss_si32(_mm_set_ss(x));
#else
    return static_cast<int32_t>(std::nearbyint(x));
#endif
}

} // namespace vl
