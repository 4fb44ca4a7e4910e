#pragma once
// The one way the system shows a message to the user: a modal warning box on Windows,
// a line on stderr ("<caption>: <text>") elsewhere. Tests install a sink to capture the
// notices instead.

namespace vl {

using NoticeSink = void (*)(const char* caption, const char* text);

// Shows text under caption (warning icon, one OK button on Windows); returns when the
// user has dismissed it. With a sink installed, only the sink is called.
void showNotice(const char* caption, const char* text);

// Installs a sink (null restores the platform notice). Returns the previous sink.
NoticeSink setNoticeSink(NoticeSink sink);

} // namespace vl
