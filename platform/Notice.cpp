#include "platform/Notice.h"

#include <atomic>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vl {

namespace {
std::atomic<NoticeSink> noticeSink{nullptr};
}

NoticeSink setNoticeSink(NoticeSink sink) { return noticeSink.exchange(sink); }

void showNotice(const char* caption, const char* text) {
    if (NoticeSink sink = noticeSink.load()) {
        sink(caption, text);
        return;
    }
#ifdef _WIN32
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
#else
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
#endif
}

} // namespace vl
