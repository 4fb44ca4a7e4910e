#include <cmath>
#include <cstdio>
#include <new>
#include <cstring>

#include "gui/Canvas.h"
#include "gui/Controls.h"
#include "gui/GroupView.h"
#include "gui/Picture.h"
#include "gui/RootView.h"
#include "gui/ToolkitEditor.h"

namespace vl {

// ---- ValueLabel ----

ValueLabel::ValueLabel(const Rect& r, Picture* picture, int32_t style)
    : ValueWidget(r, nullptr, 0, picture), style(style) {}

ValueLabel::~ValueLabel() = default;

void ValueLabel::setFont(FontId id) {
    if (id == font) return;
    font = id;
    setDirty(true);
}

void ValueLabel::setFontColor(const Color& c) {
    if (c.sameRgb(fontColor)) return;
    fontColor = c;
    setDirty(true);
}

void ValueLabel::setBackColor(const Color& c) {
    if (c.sameRgb(backColor)) return;
    backColor = c;
    setDirty(true);
}

void ValueLabel::setFrameColor(const Color& c) {
    if (c.sameRgb(frameColor)) return;
    frameColor = c;
    setDirty(true);
}

void ValueLabel::setShadowColor(const Color& c) {
    if (c.sameRgb(labelShadowColor)) return;
    labelShadowColor = c;
    setDirty(true);
}

void ValueLabel::setAlignment(int32_t newAlignment) {
    if (newAlignment == alignment) return;
    alignment = newAlignment;
    setDirty(true);
}

void ValueLabel::setFormatter(ValueDataFormatter formatter, void* data) {
    dataFormatter = formatter;
    userData = data;
}

void ValueLabel::setStyle(int32_t newStyle) {
    if (newStyle == style) return;
    style = newStyle;
    setDirty(true);
}

void ValueLabel::draw(Canvas& canvas) {
    char text[256] = "";
    if (dataFormatter) dataFormatter(value, text, userData);
    else if (simpleFormatter) simpleFormatter(value, text);
    else std::snprintf(text, sizeof text, "%2.2f", double(value));
    text[sizeof text - 1] = 0;
    drawText(canvas, text, nullptr);
}

void ValueLabel::drawText(Canvas& canvas, const char* text, Picture* picture) {
    if (style & kNoDraw) {
        setDirty(false);
        return;
    }
    Picture* back = picture ? picture : background;
    if (back) {
        drawPicture(canvas, back, backOffset);
    } else if (!transparent) {
        canvas.setFillColor(backColor);
        canvas.fillRect(size);
        if (!(style & (kBevelIn | kBevelOut))) {
            canvas.setFrameColor(frameColor);
            canvas.drawRect(size);
        }
    }
    if (style & (kBevelIn | kBevelOut)) {
        const bool in = (style & kBevelIn) != 0;
        canvas.setFrameColor(in ? backColor : frameColor);
        canvas.moveTo(Point{size.left, size.bottom});
        canvas.lineTo(Point{size.left, size.top});
        canvas.lineTo(Point{size.right + 1, size.top});
        canvas.setFrameColor(in ? frameColor : backColor);
        canvas.moveTo(Point{size.right, size.top + 1});
        canvas.lineTo(Point{size.right, size.bottom});
        canvas.lineTo(Point{size.left, size.bottom});
    }
    if (!(style & kNoText)) {
        canvas.setFont(font, 0);
        if (style & kShadowText) {
            canvas.setFontColor(labelShadowColor);
            canvas.drawString(text, size.offset(1, 1), !textTransparent, alignment);
        }
        canvas.setFontColor(fontColor);
        canvas.drawString(text, size, !textTransparent, alignment);
    }
    setDirty(false);
}

// ---- TextField ----

namespace {

// Copies at most size - 1 bytes of src and a terminating zero.
void copyText(char* dst, const char* src, size_t size) {
    size_t n = 0;
    while (n + 1 < size && src[n]) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
}

} // namespace

TextField::TextField(const Rect& r, ValueListener* fieldListener, int32_t fieldTag, const char* initial,
                     Picture* picture, int32_t fieldStyle)
    : ValueLabel(r, picture, fieldStyle) {
    listener = fieldListener;
    tag = fieldTag;
    text = kept(initial ? initial : "");
}

std::string TextField::kept(const char* newText) const {
    const size_t limit = size_t(maxLength > kTextSize - 1 ? maxLength : kTextSize - 1);
    size_t n = 0;
    while (n < limit && newText[n]) ++n;
    return std::string(newText, n);
}

void TextField::setMaxLength(int32_t bytes) {
    maxLength = bytes > 0 ? bytes : 0;
    text = kept(text.c_str());
}

TextField::~TextField() {
    delete editor; // closes a still open editor without reporting anything
    editor = nullptr;
}

void TextField::draw(Canvas& canvas) {
    if (!dataTextFormatter && !simpleTextFormatter) {
        drawText(canvas, text.c_str(), nullptr);
        return;
    }
    char shown[kTextSize] = "";
    if (dataTextFormatter) dataTextFormatter(text.c_str(), shown, userData);
    else simpleTextFormatter(text.c_str(), shown);
    shown[sizeof shown - 1] = 0;
    drawText(canvas, shown, nullptr);
}

void TextField::onMouseDown(Canvas& canvas, Point&) {
    if (!mouseEnabled || !(canvas.getButtonState() & kLeftButton)) return;
    if (!root || root->getFocus() == this) return;
    if ((style & kDoubleClickToEdit) && root->getEditor()) {
        uint32_t now = tickCount();
        if (now == 0) now = 1; // 0 means no click pending
        if (lastClickTime == 0) {
            lastClickTime = now;
            return;
        }
        const uint32_t pending = lastClickTime;
        lastClickTime = 0;
        if (!(now < pending + doubleClickTime())) return;
    }
    root->setFocus(this);
    takeFocus(&canvas);
}

void TextField::takeFocus(Canvas* canvas) {
    if (editor || !root || !root->getView()) return;
    LineEditorSetup setup;
    const Point offset = canvas ? canvas->offset : Point{};
    setup.frame = Rect{size.left + offset.h, size.top + offset.v, size.right + offset.h + 1,
                       size.bottom + offset.v + 1};
    setup.font = (font >= 0 && font < kFontCount) ? font : 0;
    setup.textColor = fontColor;
    setup.backColor = backColor;
    setup.alignment = alignment;
    setup.text = text.c_str();
    setup.maxLength = maxLength;
    editor = root->getView()->createLineEditor(setup, this);
}

void TextField::lineEditorDone() {
    loseFocus(nullptr);
    if (root && root->getFocus() == this) root->setFocus(nullptr);
}

void TextField::loseFocus(Canvas* canvas) {
    // Editing ends whenever the field loses the focus, also when the root already stored
    // another focus widget (setFocus) or none (removal of the field).
    if (!editor) return;
    LineEditor* closing = editor;
    editor = nullptr; // a nested loseFocus (through setFocus below) finds nothing to do
    RootView* rootView = root;
    if (rootView && rootView->getFocus() == this) rootView->setFocus(nullptr);
    const std::string old = text;
    std::string edited(size_t(maxLength) + 1, '\0');
    closing->getText(edited.data(), maxLength + 1);
    text = kept(edited.c_str());
    delete closing;
    if (!rootView) return;

    Canvas* drawOn = canvas;
    Canvas* own = nullptr;
    if (!drawOn && rootView->getView()) {
        own = new (std::nothrow) Canvas(rootView, rootView->getView()->createSurface(), rootView->getView(), true);
        if (own && parentGroup) own->offset = Point{parentGroup->getSize().left, parentGroup->getSize().top};
        drawOn = own;
    }
    if (drawOn) {
        if (old != text) notify(*drawOn);
        draw(*drawOn);
    }
    delete own;
}

void TextField::setText(const char* newText) {
    if (!newText) return;
    std::string copy = kept(newText);
    if (copy == text) return;
    text = std::move(copy);
    setDirty(true);
}

int32_t TextField::getText(char* buffer, int32_t bufferSize) {
    if (!buffer || bufferSize <= 0) return 0;
    copyText(buffer, text.c_str(), size_t(bufferSize));
    return int32_t(std::strlen(buffer));
}

void TextField::setTextFormatter(TextDataFormatter formatter, void* data) {
    dataTextFormatter = formatter;
    userData = data;
}

// ---- DigitDisplay ----

DigitDisplay::DigitDisplay(const Rect& r, ValueListener* listener, int32_t tag, int32_t startValue, int32_t count,
                           const int32_t* lefts_, const int32_t* tops_, int32_t digitWidth, int32_t digitHeight,
                           Picture* picture)
    : ValueWidget(r, listener, tag, picture), digitWidth(digitWidth), digitHeight(digitHeight) {
    value = float(startValue);
    digitCount = count > kMaxDigits ? kMaxDigits : (count < 1 ? 1 : count);
    for (int32_t i = 0; i < digitCount; ++i) {
        lefts[i] = lefts_ ? lefts_[i] : 0;
        tops[i] = tops_ ? tops_[i] : 0;
    }
    minValue = 0.0f;
    int32_t top = 1;
    for (int32_t i = 0; i < digitCount; ++i) top *= 10;
    maxValue = float(top - 1);
}

DigitDisplay::~DigitDisplay() = default;

float DigitDisplay::getNormalizedValue() {
    const float v = value / getMax();
    if (!(v > 0.0f)) return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

int32_t DigitDisplay::shownDigits(int32_t* digits) {
    const float maxV = getMax();
    const float minV = getMin();
    const float truncated = std::isnan(value) ? minV : std::trunc(value);
    float limited;
    if (maxV <= truncated) limited = maxV;
    else if (minV > truncated) limited = minV;
    else limited = truncated;
    if (!(limited > -1e9f && limited < 1e9f)) limited = 0.0f;
    int32_t n = int32_t(limited);
    const float maxClamped = maxV > -1e9f && maxV < 1e9f ? maxV : 0.0f;
    int32_t divisor = (int32_t(maxClamped) + 1) / 10;
    for (int32_t i = 0; i < digitCount; ++i) {
        int32_t digit = divisor != 0 ? n / divisor : 0;
        n -= digit * divisor;
        divisor /= 10;
        if (digit > 9) digit = 9;
        if (digit < 0) digit = 0;
        if (digits) digits[i] = digit;
    }
    return digitCount;
}

void DigitDisplay::draw(Canvas& canvas) {
    int32_t digits[kMaxDigits];
    shownDigits(digits);
    for (int32_t i = 0; i < digitCount; ++i) {
        if (!background) break;
        const Rect dest{lefts[i], tops[i], lefts[i] + digitWidth, tops[i] + digitHeight};
        const Point source{0, digits[i] * digitHeight};
        if (transparent) background->drawTransparent(canvas, dest, source);
        else background->draw(canvas, dest, source);
    }
    setDirty(false);
}

} // namespace vl
