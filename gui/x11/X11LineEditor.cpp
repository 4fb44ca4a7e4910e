// The X11 view's single-line editor: a child window of the view drawn with cairo in
// memory, keys from its own events or forwarded by the host.
#include <X11/keysym.h>

#include <cmath>
#include <cstring>
#include <string>

#include "gui/x11/X11View.h"

namespace vl::x11 {

X11LineEditor::X11LineEditor(X11View& view, const LineEditorSetup& s, LineEditorClient* client)
    : view(view), setup(s), utf8(view.textIsUtf8()), client(client) {
    initial = s.text ? s.text : "";
    if (setup.maxLength < 0) setup.maxLength = 0;
    text = initial;
    if (text.size() > size_t(setup.maxLength)) initial.resize(previousBoundary(size_t(setup.maxLength) + 1));
    text = initial;
    caret = text.size();
    selectionStart = 0;
    selectionEnd = text.size();
    setup.text = nullptr;
}

X11LineEditor::~X11LineEditor() {
    if (view.editor == this) view.editor = nullptr;
    if (window && view.connected()) {
        // The keyboard goes back to whoever had it before (the host's window), unless it
        // has moved on already.
        Window focus = None;
        int revert = 0;
        XGetInputFocus(view.display, &focus, &revert);
        if (focus == window) {
            ErrorTrap trap(view.display); // that window may be gone by now
            XSetInputFocus(view.display, previousFocus != None ? previousFocus : PointerRoot, RevertToPointerRoot,
                           CurrentTime);
        }
        XDestroyWindow(view.display, window);
        XFlush(view.display);
    }
}

bool X11LineEditor::create() {
    Display* d = view.display;
    const int w = setup.frame.width() > 0 ? setup.frame.width() : 1;
    const int h = setup.frame.height() > 0 ? setup.frame.height() : 1;
    XSetWindowAttributes a{};
    a.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | FocusChangeMask | ButtonPressMask;
    a.background_pixmap = None;
    window = XCreateWindow(d, view.window, setup.frame.left, setup.frame.top, unsigned(w), unsigned(h), 0,
                           CopyFromParent, InputOutput, CopyFromParent, CWEventMask | CWBackPixmap, &a);
    if (!window) return false;
    XMapRaised(d, window);
    int revert = 0;
    XGetInputFocus(d, &previousFocus, &revert);
    if (previousFocus == PointerRoot) previousFocus = None;
    // The keyboard focus moves only to a viewable window (else X reports an error).
    XWindowAttributes state;
    if (XGetWindowAttributes(d, window, &state) && state.map_state == IsViewable)
        XSetInputFocus(d, window, RevertToParent, CurrentTime);
    paint();
    return true;
}

namespace {

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

size_t X11LineEditor::previousBoundary(size_t index) const {
    if (index == 0) return 0;
    --index;
    while (utf8 && index > 0 && continuationByte(text[index])) --index;
    return index;
}

size_t X11LineEditor::nextBoundary(size_t index) const {
    if (index >= text.size()) return text.size();
    ++index;
    while (utf8 && index < text.size() && continuationByte(text[index])) ++index;
    return index;
}

int32_t X11LineEditor::getText(char* buffer, int32_t size) {
    if (!buffer || size <= 0) return 0;
    const size_t n = text.size() < size_t(size - 1) ? text.size() : size_t(size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return int32_t(n);
}

double X11LineEditor::textX(double advance, double caretAdvance) {
    const double w = setup.frame.width();
    const double room = w - 3.0; // one pixel each side and one for the caret
    if (advance <= room) {
        scroll = 0.0;
        if (setup.alignment == 1) return double(int((w - advance) / 2.0 + 0.5));
        if (setup.alignment == 2) return w - advance - 1.0;
        return 1.0;
    }
    if (caretAdvance - scroll > room) scroll = caretAdvance - room;
    if (caretAdvance - scroll < 0.0) scroll = caretAdvance;
    if (scroll > advance - room) scroll = advance - room;
    if (scroll < 0.0) scroll = 0.0;
    return 1.0 - double(int(scroll + 0.5));
}

void X11LineEditor::paint() {
    if (!window) return;
    const int w = setup.frame.width() > 0 ? setup.frame.width() : 1;
    const int h = setup.frame.height() > 0 ? setup.frame.height() : 1;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    auto rgb = [&](const Color& c) { cairo_set_source_rgb(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0); };
    rgb(setup.backColor);
    cairo_paint(cr);
    selectFont(cr, setup.font, fontEntry(setup.font).height, true);
    const std::string all = cairoText(text.c_str(), utf8);
    cairo_text_extents_t te;
    cairo_text_extents(cr, all.c_str(), &te);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    const double top = double(int((h - (fe.ascent + fe.descent)) / 2.0 + 0.5));
    auto advanceTo = [&](size_t index) {
        const std::string part = cairoText(text.substr(0, index).c_str(), utf8);
        cairo_text_extents_t pe;
        cairo_text_extents(cr, part.c_str(), &pe);
        return pe.x_advance;
    };
    const double x0 = textX(te.x_advance, advanceTo(caret));
    origin = x0;
    if (selectionEnd > selectionStart) {
        const double a = x0 + advanceTo(selectionStart), b = x0 + advanceTo(selectionEnd);
        rgb(setup.textColor);
        cairo_rectangle(cr, a, top, b - a, fe.ascent + fe.descent);
        cairo_fill(cr);
    }
    // The text, then the selected part again in the background colour over its highlight.
    rgb(setup.textColor);
    cairo_move_to(cr, x0, top + fe.ascent);
    cairo_show_text(cr, all.c_str());
    if (selectionEnd > selectionStart) {
        const double a = x0 + advanceTo(selectionStart), b = x0 + advanceTo(selectionEnd);
        cairo_save(cr);
        cairo_rectangle(cr, a, 0, b - a, h);
        cairo_clip(cr);
        rgb(setup.backColor);
        cairo_move_to(cr, x0, top + fe.ascent);
        cairo_show_text(cr, all.c_str());
        cairo_restore(cr);
    } else {
        const double cx = double(int(x0 + advanceTo(caret)));
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        rgb(setup.textColor);
        cairo_rectangle(cr, cx, top, 1, fe.ascent + fe.descent);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    view.put(window, s, Rect{0, 0, w, h});
    cairo_surface_destroy(s);
}

void X11LineEditor::deleteSelection() {
    text.erase(selectionStart, selectionEnd - selectionStart);
    caret = selectionStart;
    selectionEnd = selectionStart;
}

void X11LineEditor::key(EditKey action, char32_t character) {
    const bool selected = selectionEnd > selectionStart;
    switch (action) {
    case EditKey::character: {
        if (selected) deleteSelection();
        std::string typed;
        if (utf8) appendUtf8(typed, character);
        else if (character <= 0xFF) typed = char(character);
        if (text.size() + typed.size() <= size_t(setup.maxLength)) {
            text.insert(caret, typed);
            caret += typed.size();
        }
        break;
    }
    case EditKey::backspace:
        if (selected) {
            deleteSelection();
        } else if (caret > 0) {
            const size_t start = previousBoundary(caret);
            text.erase(start, caret - start);
            caret = start;
        }
        break;
    case EditKey::del:
        if (selected) deleteSelection();
        else if (caret < text.size()) text.erase(caret, nextBoundary(caret) - caret);
        break;
    case EditKey::left:
        caret = selected ? selectionStart : previousBoundary(caret);
        break;
    case EditKey::right:
        caret = selected ? selectionEnd : nextBoundary(caret);
        break;
    case EditKey::home:
        caret = 0;
        break;
    case EditKey::end:
        caret = text.size();
        break;
    case EditKey::commit:
        done();
        return;
    case EditKey::cancel:
        text = initial;
        done();
        return;
    case EditKey::none:
        return;
    }
    selectionStart = selectionEnd = 0;
    paint();
}

void X11LineEditor::pressAt(int x) {
    // The caret goes to the character boundary nearest to the press.
    const int w = setup.frame.width() > 0 ? setup.frame.width() : 1;
    const int h = setup.frame.height() > 0 ? setup.frame.height() : 1;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    selectFont(cr, setup.font, fontEntry(setup.font).height, true);
    const double x0 = origin; // as the text was last shown
    size_t best = 0;
    double bestDistance = 1e9;
    for (size_t i = 0;; i = nextBoundary(i)) {
        const std::string part = cairoText(text.substr(0, i).c_str(), utf8);
        cairo_text_extents_t pe;
        cairo_text_extents(cr, part.c_str(), &pe);
        const double d = std::abs(x0 + pe.x_advance - x);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
        if (i >= text.size()) break;
    }
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    caret = best;
    selectionStart = selectionEnd = 0;
    XWindowAttributes state;
    if (view.connected() && XGetWindowAttributes(view.display, window, &state) && state.map_state == IsViewable)
        XSetInputFocus(view.display, window, RevertToParent, CurrentTime);
    paint();
}

} // namespace vl::x11
