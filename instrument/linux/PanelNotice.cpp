#include "instrument/linux/PanelNotice.h"

#include <mutex>
#include <thread>

#include "gui/x11/X11Dialog.h"
#include "platform/Notice.h"

namespace vl::panelnotice {

namespace {

std::mutex lock;
int openPanels = 0; // guarded by lock
std::thread::id panelThread; // the thread that opened the last panel
unsigned long ownerWindow = 0;

bool present(const char* caption, const char* text) {
    unsigned long owner = 0;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (openPanels <= 0 || std::this_thread::get_id() != panelThread) return false;
        owner = ownerWindow;
    }
    x11dialog::Request request;
    request.title = caption ? caption : "";
    request.message = text ? text : "";
    request.owner = owner;
    return x11dialog::run(request) != -2;
}

} // namespace

void install() {
    static std::once_flag once;
    std::call_once(once, [] { setNoticePresenter(&present); });
}

void panelOpened(unsigned long hostWindow) {
    std::lock_guard<std::mutex> guard(lock);
    ++openPanels;
    panelThread = std::this_thread::get_id();
    ownerWindow = hostWindow;
}

bool panelOpenOnThisThread() {
    std::lock_guard<std::mutex> guard(lock);
    return openPanels > 0 && std::this_thread::get_id() == panelThread;
}

void panelClosed() {
    std::lock_guard<std::mutex> guard(lock);
    if (openPanels > 0) --openPanels;
}

} // namespace vl::panelnotice
