#pragma once
// For the tests that put a malloc of their own in place (to count or forbid allocations):
// glibc's own allocator under the names it exports for them, and whether a sanitizer
// owns the allocator already.
#include <cstdlib>

// VL_SANITIZED: a sanitizer's run-time has replaced the allocator (and more), and a
// test's own malloc cannot take its place.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VL_SANITIZED 1
#endif
#endif

#if defined(__GLIBC__)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}
#endif
