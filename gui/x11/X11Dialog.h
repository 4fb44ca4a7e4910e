#pragma once
// Small modal windows of the Linux panel, built from toolkit widgets in a top-level X11
// view on a connection of its own: the notice window (a text and an OK button) and the
// plain file dialog (a path field with OK and Cancel) used when neither the host nor
// zenity/kdialog can choose a file. Each call runs its own event loop and returns when
// the user has answered. The header needs no X11 headers: the instrument's Linux files
// call it.

#include <string>

namespace vl::x11dialog {

struct Request {
    const char* title = ""; // window title
    const char* message = ""; // text above the field or the buttons
    bool withField = false; // a one-line text field (the path)
    std::string field; // its initial text; the typed text on return
    const char* buttons[2] = {"OK", nullptr}; // one or two buttons, the first is the default
    unsigned long owner = 0; // X window the dialog belongs to (0: none)
    // Checks the field on OK: empty answer accepts, anything else is shown as a hint and
    // the dialog stays open.
    std::string (*check)(const std::string& field, void* data) = nullptr;
    void* checkData = nullptr;
};

// Shows the dialog and answers the index of the button chosen (Return: the first), -1 for
// Escape, a closed window or a lost connection, and -2 when no X display could be opened
// (nothing shown).
int run(Request& request);

} // namespace vl::x11dialog
