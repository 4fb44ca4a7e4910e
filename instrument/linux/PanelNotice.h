#pragma once
// Notices as small modal X11 windows while a panel is open (Linux). The panel reports its
// opening and closing; notices shown on the thread that opened it get a window owned by
// the host's window, all others go to stderr as before. The file chooser asks the same
// question: only the open panel's file buttons bring up a chooser.

namespace vl::panelnotice {

// Installs the presenter (once per process).
void install();
void panelOpened(unsigned long hostWindow);
void panelClosed();
// Whether a panel is open and was opened on the calling thread.
bool panelOpenOnThisThread();

} // namespace vl::panelnotice
