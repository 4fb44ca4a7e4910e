#pragma once
// The one way the system shows a message to the user: a modal warning box on Windows,
// elsewhere the presenter's window when one is installed and shows it (the Linux panel
// installs one that opens a small modal X11 window while the panel is open), else a line
// on stderr ("<caption>: <text>"). Tests install a sink to capture the notices instead.

namespace vl {

using NoticeSink = void (*)(const char* caption, const char* text);

// Shows text under caption (warning icon, one OK button on Windows); returns when the
// user has dismissed it. With a sink installed, only the sink is called.
void showNotice(const char* caption, const char* text);

// Installs a sink (null restores the platform notice). Returns the previous sink.
NoticeSink setNoticeSink(NoticeSink sink);

// Shows a notice in a window and answers true once the user dismissed it, or answers
// false at once when it cannot show one now (the notice then goes to stderr).
using NoticePresenter = bool (*)(const char* caption, const char* text);

// Installs a presenter (null: none). Returns the previous one. Not used on Windows.
NoticePresenter setNoticePresenter(NoticePresenter presenter);

} // namespace vl
