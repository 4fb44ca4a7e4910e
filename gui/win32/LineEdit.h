#pragma once
// The native single-line edit control that a text field opens over itself while the
// user edits its text. Return and loss of the keyboard focus commit the text, Escape
// cancels; either way the owner is told once and closes the editor. The wrapper never
// calls the control after it was destroyed, whoever destroyed it.

#include <windows.h>

namespace vl::win32 {

class LineEditListener {
public:
    virtual ~LineEditListener() = default;
    // Return or focus loss (commit true) or Escape (commit false). The listener normally
    // reads the text and closes the editor from here.
    virtual void onLineEditDone(bool commit) = 0;
};

class LineEdit {
public:
    LineEdit() = default;
    ~LineEdit();
    LineEdit(const LineEdit&) = delete;
    LineEdit& operator=(const LineEdit&) = delete;

    // Creates the edit control as a child of parent at (left, top) with the given size,
    // the alignment (0 left, 1 centre, 2 right), the toolkit font id at height pixels and
    // the colours used while editing. The whole text is selected and the control takes
    // the keyboard focus. Returns false (and stays closed) when it cannot be made. An
    // editor that is already open is closed first, without telling its listener.
    bool open(HWND parent, int left, int top, int width, int height, int alignment, int fontId, int fontHeight,
              const char* text, COLORREF textColor, COLORREF backColor, LineEditListener* listener);
    // Destroys the control and frees its font and brush. When the control still has the
    // keyboard focus, the focus goes back to the window that had it before the control
    // opened (if that still exists). Safe to call at any time.
    void close();
    bool isOpen() const { return window_ != nullptr; }
    HWND handle() const { return window_; }

    // Copies the text (at most size − 1 bytes, always zero-terminated) into buffer and
    // returns its length; an empty string when closed.
    int text(char* buffer, int size) const;

    // Answers WM_CTLCOLOREDIT for one of our edit controls: sets the colours and returns
    // the background brush; null for any other control.
    static HBRUSH colorize(HWND edit, HDC dc);

private:
    static LRESULT CALLBACK subclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void forgetWindow();

    HWND window_ = nullptr;
    HWND previousFocus_ = nullptr;
    WNDPROC previous_ = nullptr;
    HFONT font_ = nullptr;
    HBRUSH brush_ = nullptr;
    COLORREF textColor_ = 0;
    COLORREF backColor_ = 0;
    LineEditListener* listener_ = nullptr;
    bool notifying_ = false;
};

} // namespace vl::win32
