#include "platform/Notice.h"

#include <atomic>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vl {

namespace {
std::atomic<NoticeSink> noticeSink{nullptr};
std::atomic<NoticePresenter> noticePresenter{nullptr};
} // namespace

NoticeSink setNoticeSink(NoticeSink sink) { return noticeSink.exchange(sink); }

NoticePresenter setNoticePresenter(NoticePresenter presenter) { return noticePresenter.exchange(presenter); }

void showNotice(const char* caption, const char* text) {
    if (NoticeSink sink = noticeSink.load()) {
        sink(caption, text);
        return;
    }
#ifdef _WIN32
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
#else
    if (NoticePresenter presenter = noticePresenter.load()) {
        if (presenter(caption, text)) return;
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
#endif
}

} // namespace vl
