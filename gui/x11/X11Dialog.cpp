// The dialogs as a small toolkit program: a RootView over a top-level X11View, labels and
// text fields for the message, the path and the hint, push buttons, and a loop that idles
// the root until the user has answered.
#include "gui/x11/X11Dialog.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "gui/Canvas.h"
#include "gui/Controls.h"
#include "gui/RootView.h"
#include "gui/x11/X11View.h"

namespace vl::x11dialog {

namespace {

constexpr int kWidth = 400;
constexpr int kMargin = 14;
constexpr int kLineHeight = 17;
constexpr int kFieldHeight = 24;
constexpr int kButtonWidth = 84, kButtonHeight = 26, kButtonGap = 10;
constexpr FontId kFont = 3; // 12 pixels, normal weight
constexpr int32_t kPathBytes = 4095; // a path as long as the system takes (PATH_MAX less the zero)

// Colours of the panel: the name field's khaki and olive ink, the field's paper, the
// buttons' olive and their light captions, the hint's red.
constexpr Color kBack{186, 195, 137, 0}, kInk{44, 50, 26, 0}, kField{232, 236, 210, 0};
constexpr Color kButton{118, 124, 84, 0}, kButtonText{240, 236, 210, 0}, kHint{150, 40, 24, 0};

// A cell of w x h pixels at (x, y) as the canvas outlines it (right and bottom inclusive).
Rect cell(int x, int y, int w, int h) { return Rect{x, y, x + w - 1, y + h - 1}; }

void paint(ValueLabel& label, const Color& back, const Color& frame, const Color& ink) {
    label.setFont(kFont);
    label.setBackColor(back);
    label.setFrameColor(frame);
    label.setFontColor(ink);
}

// A framed cell with its caption that reports a click (a press on it released over it)
// to its listener; the default button has a frame two pixels wide.
class PushButton final : public ValueLabel {
public:
    PushButton(const Rect& r, ValueListener* clicked, int32_t index, const char* caption, bool isDefault)
        : ValueLabel(r, nullptr, 0), caption(caption), isDefault(isDefault) {
        listener = clicked;
        tag = index;
        paint(*this, kButton, kInk, kButtonText);
    }

    void draw(Canvas& canvas) override {
        drawText(canvas, caption, nullptr);
        if (isDefault) {
            canvas.setFrameColor(frameColor);
            canvas.drawRect(Rect{size.left + 1, size.top + 1, size.right - 1, size.bottom - 1});
        }
    }

    void onMouseDown(Canvas& canvas, Point& where) override {
        if (!(canvas.getButtonState() & kLeftButton)) return;
        NativeView* view = root ? root->getView() : nullptr;
        while (view && (canvas.getButtonState() & kLeftButton)) {
            view->dispatchPendingPaint();
            sleepMilliseconds(10);
        }
        canvas.getMouseLocation(where);
        if (size.pointInside(where)) notify(canvas);
    }

private:
    const char* caption;
    bool isDefault;
};

class Dialog final : private ValueListener, private KeyHandler {
public:
    explicit Dialog(Request& r) : request(r) {}

    int run() {
        buttonCount = request.buttons[1] ? 2 : 1;
        layout();
        x11::TopLevel top;
        top.title = request.title;
        top.owner = request.owner;
        top.utf8 = true; // messages, paths and typed characters are UTF-8
        RootView window(Rect{0, 0, kWidth, height}, makeView, &top, nullptr);
        auto* view = static_cast<x11::X11View*>(window.getView());
        if (!view) return -2;
        root = &window;
        window.setKeyHandler(this);
        build();
        while (!finished) {
            window.idle();
            if (!view->connected() || !window.isOpen()) break; // client killed, window closed
            if (finished) break;
            if (field && !field->isEditing()) editField();
            view->waitForEvents(100);
        }
        root = nullptr;
        return finished ? answer : -1;
    }

private:
    static NativeView* makeView(const Rect& size, NativeViewClient* client, void* top) {
        auto view = std::make_unique<x11::X11View>(client);
        if (!view->create(0, size.width(), size.height(), static_cast<const x11::TopLevel*>(top))) return nullptr;
        return view.release();
    }

    // Breaks the message into lines that fit the window and places the widgets.
    void layout() {
        const std::string text = request.message ? request.message : "";
        std::string line, word;
        auto flushWord = [&] {
            if (word.empty()) return;
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && x11::textWidth(kFont, candidate.c_str(), true) > kWidth - 2 * kMargin) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            word.clear();
        };
        for (char c : text) {
            if (c == ' ') {
                flushWord();
            } else if (c == '\n') {
                flushWord();
                lines.push_back(line);
                line.clear();
            } else {
                word.push_back(c);
            }
        }
        flushWord();
        if (!line.empty() || lines.empty()) lines.push_back(line);

        int y = kMargin + static_cast<int>(lines.size()) * kLineHeight + 6;
        if (request.withField) {
            fieldTop = y;
            y += kFieldHeight + kLineHeight + 4; // room for a hint
        }
        buttonTop = y;
        height = y + kButtonHeight + kMargin;
    }

    // One line of text on the dialog's background, left aligned.
    TextField* addText(const Rect& r, const char* text, const Color& ink) {
        auto* label = new TextField(r, nullptr, 0, text, nullptr, 0);
        paint(*label, kBack, kBack, ink);
        label->setAlignment(0);
        label->setMouseEnabled(false);
        root->addView(label);
        return label;
    }

    void build() {
        auto* back = new ValueLabel(cell(0, 0, kWidth, height), nullptr, kNoText);
        paint(*back, kBack, kBack, kInk);
        back->setMouseEnabled(false);
        root->addView(back);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const int top = kMargin + static_cast<int>(i) * kLineHeight;
            addText(cell(kMargin - 1, top, kWidth - 2 * kMargin + 1, kLineHeight), lines[i].c_str(), kInk);
        }
        if (request.withField) {
            // The frame, and inside it the field whose editor keeps its text 5 pixels in.
            auto* frame = new ValueLabel(cell(kMargin, fieldTop, kWidth - 2 * kMargin, kFieldHeight), nullptr, kNoText);
            paint(*frame, kField, kInk, kInk);
            frame->setMouseEnabled(false);
            root->addView(frame);
            field = new TextField(cell(kMargin + 4, fieldTop + 1, kWidth - 2 * kMargin - 8, kFieldHeight - 2), nullptr,
                                  0, "", nullptr, 0);
            field->setMaxLength(kPathBytes);
            field->setText(request.field.c_str());
            paint(*field, kField, kField, kInk);
            field->setAlignment(0);
            root->addView(field);
            hint = addText(cell(kMargin - 1, fieldTop + kFieldHeight + 1, kWidth - 2 * kMargin + 1, kLineHeight), "",
                           kHint);
            editField();
        }
        const int total = buttonCount * kButtonWidth + (buttonCount - 1) * kButtonGap;
        for (int i = 0; i < buttonCount; ++i) {
            const int left = kWidth - kMargin - total + i * (kButtonWidth + kButtonGap);
            root->addView(new PushButton(cell(left, buttonTop, kButtonWidth, kButtonHeight), this, i,
                                         request.buttons[i], i == 0));
        }
    }

    // Opens the field's editor with the caret after the text.
    void editField() {
        root->setFocus(field);
        field->takeFocus(nullptr);
        if (field->isEditing()) root->getView()->forwardKey(VstKeyCode{0, x11::vkEnd, 0}, true);
    }

    std::string fieldText() const {
        std::string text(size_t(kPathBytes) + 1, '\0');
        if (LineEditor* editor = field->getLineEditor()) editor->getText(text.data(), kPathBytes + 1);
        else field->getText(text.data(), kPathBytes + 1);
        text.resize(std::strlen(text.c_str()));
        return text;
    }

    // The button chosen: OK with a field is checked first, and a refusal is shown.
    void choose(int button) {
        if (finished) return;
        if (field) {
            const std::string text = fieldText();
            if (button == 0 && request.check) {
                const std::string refusal = request.check(text, request.checkData);
                if (!refusal.empty()) {
                    hint->setText(refusal.c_str());
                    return;
                }
            }
            request.field = text;
        }
        answer = button;
        finished = true;
    }

    void valueChanged(Canvas&, Widget* control) override { choose(static_cast<ValueWidget*>(control)->getTag()); }

    bool onKey(const VstKeyCode& key) override {
        if (key.virt == x11::vkReturn || key.virt == x11::vkEnter) {
            choose(0);
            return true;
        }
        if (key.virt == x11::vkEscape) {
            if (!finished) answer = -1;
            finished = true;
            return true;
        }
        if (hint) hint->setText(""); // typing takes the hint away
        return false;
    }

    Request& request;
    RootView* root = nullptr;
    TextField* field = nullptr; // owned by the root
    TextField* hint = nullptr; // owned by the root
    std::vector<std::string> lines;
    int buttonCount = 1;
    int fieldTop = 0;
    int buttonTop = 0;
    int height = 100;
    int answer = -1;
    bool finished = false;
};

} // namespace

int run(Request& request) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return -2;
    try {
        Dialog dialog(request);
        return dialog.run();
    } catch (...) {
        return -2;
    }
}

} // namespace vl::x11dialog
