#include "gui/win32/LineEdit.h"

#include "gui/win32/GdiPicture.h"
#include "gui/win32/GdiSurface.h"

namespace vl::win32 {

namespace {

// The text field keeps at most 254 characters and its terminator in a 255-byte read.
constexpr int maximumCharacters = 254;

} // namespace

LineEdit::~LineEdit() {
    listener_ = nullptr;
    close();
}

bool LineEdit::open(HWND parent, int left, int top, int width, int height, int alignment, int fontId, int fontHeight,
                    const char* text, COLORREF textColor, COLORREF backColor, LineEditListener* listener) {
    listener_ = nullptr;
    close();
    if (!parent) return false;
    DWORD style = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL;
    style |= alignment == 1 ? ES_CENTER : alignment == 2 ? ES_RIGHT : ES_LEFT;
    HWND window = CreateWindowExA(0, "EDIT", text ? text : "", style, left, top, width, height, parent, nullptr,
                                  resourceModule(), nullptr);
    if (!window) return false;
    window_ = window;
    listener_ = listener;
    textColor_ = textColor;
    backColor_ = backColor;
    font_ = createGdiFont(fontId, fontHeight, true);
    if (font_) SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    SendMessageA(window, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    SendMessageA(window, EM_SETLIMITTEXT, maximumCharacters, 0);
    SendMessageA(window, EM_SETSEL, 0, -1);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LineEdit::subclassProcedure)));
    previousFocus_ = GetFocus();
    SetFocus(window);
    return window_ != nullptr;
}

void LineEdit::forgetWindow() {
    window_ = nullptr;
    previousFocus_ = nullptr;
    previous_ = nullptr;
    if (font_) DeleteObject(font_);
    font_ = nullptr;
    if (brush_) DeleteObject(brush_);
    brush_ = nullptr;
}

void LineEdit::close() {
    HWND window = window_;
    if (window) {
        // Unhook first: the focus loss that destroying the control causes must not come
        // back here, and no message may reach this wrapper afterwards.
        if (IsWindow(window)) {
            if (previous_) SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            // Ended by Return or by a press in the panel: the keyboard goes back to
            // where it was (a host keeps its shortcuts) instead of to nobody.
            if (GetFocus() == window && previousFocus_ && previousFocus_ != window && IsWindow(previousFocus_)) {
                SetFocus(previousFocus_);
            }
            DestroyWindow(window);
        }
    }
    forgetWindow();
}

int LineEdit::text(char* buffer, int size) const {
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    if (!window_ || !IsWindow(window_)) return 0;
    const int length = GetWindowTextA(window_, buffer, size);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[length < size ? length : size - 1] = '\0';
    return length;
}

HBRUSH LineEdit::colorize(HWND edit, HDC dc) {
    if (!edit || !dc) return nullptr;
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(edit, GWLP_WNDPROC)) != &LineEdit::subclassProcedure) {
        return nullptr;
    }
    auto* self = reinterpret_cast<LineEdit*>(GetWindowLongPtrA(edit, GWLP_USERDATA));
    if (!self || self->window_ != edit) return nullptr;
    SetTextColor(dc, self->textColor_);
    SetBkColor(dc, self->backColor_);
    if (!self->brush_) self->brush_ = CreateSolidBrush(self->backColor_);
    return self->brush_;
}

LRESULT CALLBACK LineEdit::subclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LineEdit*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self || !self->previous_) return DefWindowProcA(window, message, wParam, lParam);
    const WNDPROC previous = self->previous_;
    try {
        switch (message) {
        case WM_KILLFOCUS: {
            // The control handles its focus loss first; the owner may destroy it after.
            const LRESULT result = CallWindowProcA(previous, window, message, wParam, lParam);
            if (!self->notifying_ && self->listener_ && self->window_ == window) {
                self->notifying_ = true;
                LineEditListener* listener = self->listener_;
                listener->onLineEditDone(true);
                // The wrapper may be gone now; it is not touched again.
                if (IsWindow(window) && reinterpret_cast<LineEdit*>(GetWindowLongPtrA(window, GWLP_USERDATA)) == self) {
                    self->notifying_ = false;
                }
            }
            return result;
        }
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
                if (!self->notifying_ && self->listener_) {
                    self->notifying_ = true;
                    LineEditListener* listener = self->listener_;
                    listener->onLineEditDone(wParam == VK_RETURN);
                    if (IsWindow(window) &&
                        reinterpret_cast<LineEdit*>(GetWindowLongPtrA(window, GWLP_USERDATA)) == self) {
                        self->notifying_ = false;
                    }
                }
                return 0;
            }
            break;
        case WM_CHAR:
            // The characters of Return and Escape would only make the control beep.
            if (wParam == '\r' || wParam == 27) return 0;
            break;
        case WM_NCDESTROY: {
            // Destroyed by someone else (the parent window going away): forget it.
            const LRESULT result = CallWindowProcA(previous, window, message, wParam, lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            if (self->window_ == window) self->forgetWindow();
            return result;
        }
        default:
            break;
        }
    } catch (...) {
        return 0;
    }
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

} // namespace vl::win32
