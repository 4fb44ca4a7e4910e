#include "gui/Canvas.h"
#include "gui/Controls.h"
#include "gui/Picture.h"
#include "gui/RootView.h"
#include "gui/ToolkitEditor.h"

namespace vl {

namespace {
int32_t knobMode = 0; // process-wide; written by the editor, read by knobs when a drag starts
} // namespace

int32_t getKnobMode() { return knobMode; }

void setGlobalKnobMode(int32_t mode) { knobMode = mode; }

ValueWidget::ValueWidget(const Rect& r, ValueListener* listener, int32_t tag, Picture* picture)
    : Widget(r), listener(listener), tag(tag), background(picture) {
    if (background) background->retain();
    mouseEnabled = true;
    transparent = false;
}

ValueWidget::~ValueWidget() {
    if (background) background->release();
}

bool ValueWidget::isDirty() { return dirty || value != drawnValue; }

void ValueWidget::setDirty(bool state) {
    if (state) {
        dirty = true;
        drawnValue = value == -1.0f ? 0.0f : -1.0f;
    } else {
        dirty = false;
        drawnValue = value;
    }
}

void ValueWidget::idleDuringDrag() {
    if (root && root->getEditor()) root->getEditor()->idleDuringDrag();
}

void ValueWidget::setBackground(Picture* picture) {
    if (picture) picture->retain();
    if (background) background->release();
    background = picture;
}

void ValueWidget::clampValue() {
    if (value > maxValue) value = maxValue;
    else if (value < minValue) value = minValue;
}

void ValueWidget::drawPicture(Canvas& canvas, Picture* picture, const Point& source) {
    if (!picture) return;
    if (transparent) picture->drawTransparent(canvas, size, source);
    else picture->draw(canvas, size, source);
}

void ValueWidget::notify(Canvas& canvas) {
    if (listener) listener->valueChanged(canvas, this);
}

// ---- ToggleButton ----

ToggleButton::ToggleButton(const Rect& r, ValueListener* listener, int32_t tag, Picture* picture)
    : ValueWidget(r, listener, tag, picture) {}

ToggleButton::~ToggleButton() = default;

void ToggleButton::draw(Canvas& canvas) {
    Point source{0, 0};
    if (value != 0.0f && background) source.v = background->height / 2;
    drawPicture(canvas, background, source);
    setDirty(false);
}

void ToggleButton::onMouseDown(Canvas& canvas, Point&) {
    if (!mouseEnabled || !(canvas.getButtonState() & kLeftButton)) return;
    // 0.3 truncates to 0 and so turns on, though it is drawn on.
    const float truncated = value >= -2147483648.0f && value < 2147483648.0f ? float(int32_t(value)) : 1.0f;
    value = truncated != 0.0f ? 0.0f : 1.0f;
    draw(canvas);
    notify(canvas);
}

// ---- MomentaryButton ----

MomentaryButton::MomentaryButton(const Rect& r, ValueListener* listener, int32_t tag, int32_t imageHeight,
                                 Picture* picture, const Point& imageOffset)
    : ValueWidget(r, listener, tag, picture), imageOffset(imageOffset), imageHeight(imageHeight) {}

MomentaryButton::~MomentaryButton() = default;

void MomentaryButton::draw(Canvas& canvas) {
    clampValue();
    Point source = imageOffset;
    if (value != 0.0f) source.v += imageHeight;
    drawPicture(canvas, background, source);
    setDirty(false);
}

void MomentaryButton::onMouseDown(Canvas& canvas, Point& where) {
    if (!mouseEnabled || !(canvas.getButtonState() & kLeftButton)) return;
    const float entryValue = value;
    const float pressedValue = entryValue == 0.0f ? 1.0f : 0.0f;
    if (canvas.getButtonState() != 0) {
        if (root) root->beginEdit(tag);
        float reported = entryValue;
        do {
            value = size.pointInside(where) ? pressedValue : entryValue;
            // Only the pressed state is reported while the button is held: the pointer
            // leaving the button is drawn released but is no release (that comes once,
            // below).
            if (value != reported) {
                if (value != 0.0f) notify(canvas);
                reported = value;
            }
            canvas.getMouseLocation(where);
            idleDuringDrag();
        } while (canvas.getButtonState() != 0);
        if (root) root->endEdit(tag);
    } else {
        // Released before the first poll: still one press.
        value = pressedValue;
        notify(canvas);
    }
    value = 0.0f;
    notify(canvas);
}

} // namespace vl
