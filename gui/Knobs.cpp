#include <cmath>

#include "gui/Canvas.h"
#include "gui/Controls.h"
#include "gui/Picture.h"
#include "gui/RootView.h"

namespace vl {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Brings an angle into 0..2pi by one turn at most.
double oneTurn(double a) {
    if (a < 0.0) a += kTwoPi;
    if (a > kTwoPi) a -= kTwoPi;
    return a;
}

} // namespace

RotaryKnob::RotaryKnob(const Rect& r, ValueListener* listener, int32_t tag, Picture* picture, Picture* handle,
                       const Point& backgroundOffset)
    : ValueWidget(r, listener, tag, picture), backgroundOffset(backgroundOffset), handlePicture(handle) {
    if (handlePicture) {
        handlePicture->retain();
        inset = int32_t(handlePicture->width * 0.5 + 2.5);
    } else {
        inset = 3;
    }
    radius = float((r.right - r.left) * 0.5);
    rangeAngle = 1.0f;
    setStartAngle(3.9269908f); // lower left: the minimum
    setRangeAngle(-4.712389f); // three quarters of a turn clockwise
    fineFactor = 1.5f;
}

RotaryKnob::~RotaryKnob() {
    if (handlePicture) handlePicture->release();
}

void RotaryKnob::computeCoefficients() {
    valuePerRadian = (maxValue - minValue) / rangeAngle;
    valueOffset = minValue - valuePerRadian * startAngle;
    halfGap = float((kTwoPi - std::fabs(double(rangeAngle))) * 0.5);
}

void RotaryKnob::setStartAngle(float angle) {
    startAngle = angle;
    computeCoefficients();
    setDirty(true);
}

void RotaryKnob::setRangeAngle(float angle) {
    rangeAngle = angle;
    computeCoefficients();
    setDirty(true);
}

void RotaryKnob::valueToPoint(Point& p) {
    const double alpha = (double(value) - valueOffset) / valuePerRadian;
    const double reach = double(radius) - inset;
    p.h = int32_t(radius + std::cos(alpha) * reach + 0.5);
    p.v = int32_t(radius - std::sin(alpha) * reach + 0.5);
}

float RotaryKnob::valueFromPoint(Point& p) {
    double alpha = std::atan2(double(radius) - p.v, double(p.h) - radius);
    if (alpha < 0.0) alpha += kTwoPi;
    alpha -= startAngle;
    const double range = rangeAngle;
    const double gap = halfGap;
    if (range >= 0.0) {
        const double w = oneTurn(alpha);
        if (w > range + gap) return minValue;
        if (w > range) return maxValue;
        double a = alpha;
        if (alpha > range + gap) a -= kTwoPi;
        if (alpha < -gap) a += kTwoPi;
        return float(minValue + a * valuePerRadian);
    }
    const double beta = alpha - range;
    const double w = oneTurn(beta);
    if (w > gap - range) return maxValue;
    if (w > -range) return minValue;
    double a = beta;
    if (beta > gap - range) a -= kTwoPi;
    if (beta < -gap) a += kTwoPi;
    return float(maxValue + a * valuePerRadian);
}

void RotaryKnob::setShadowColor(const Color& c) {
    shadowColor = c;
    setDirty(true);
}

void RotaryKnob::setHandleColor(const Color& c) {
    handleColor = c;
    setDirty(true);
}

void RotaryKnob::setHandlePicture(Picture* picture) {
    if (handlePicture) handlePicture->release();
    handlePicture = picture;
    if (handlePicture) {
        handlePicture->retain();
        inset = int32_t(handlePicture->width * 0.5 + 2.5);
    }
}

void RotaryKnob::draw(Canvas& canvas) {
    drawPicture(canvas, background, backgroundOffset);
    drawHandle(canvas);
    setDirty(false);
}

void RotaryKnob::drawHandle(Canvas& canvas) {
    Point p;
    valueToPoint(p);
    if (handlePicture) {
        const int32_t w = handlePicture->width;
        const int32_t h = handlePicture->height;
        const int32_t left = size.left + p.h - w / 2;
        const int32_t top = size.top + p.v - h / 2;
        handlePicture->drawTransparent(canvas, Rect{left, top, left + w, top + h}, Point{0, 0});
        return;
    }
    const int32_t centreH = size.left + size.width() / 2;
    const int32_t centreV = size.top + size.height() / 2;
    canvas.setFrameColor(shadowColor);
    canvas.moveTo(Point{size.left + p.h - 1, size.top + p.v});
    canvas.lineTo(Point{centreH - 1, centreV});
    canvas.setFrameColor(handleColor);
    canvas.moveTo(Point{size.left + p.h, size.top + p.v - 1});
    canvas.lineTo(Point{centreH, centreV - 1});
}

void RotaryKnob::onMouseDown(Canvas& canvas, Point& where) {
    if (!mouseEnabled) return;
    const ButtonState pressState = canvas.getButtonState();
    if (!(pressState & kLeftButton)) return;
    if (pressState == (kLeftButton | kControl)) {
        value = defaultValue;
        if (isDirty()) notify(canvas);
        return;
    }
    const bool linear = (getKnobMode() == 2) != ((pressState & kAlt) != 0);
    const float range = maxValue - minValue;
    auto stepFor = [&](ButtonState state) {
        const float divisor = (state & kShift) ? fineFactor * 200.0f : 200.0f;
        return range / divisor;
    };
    const Point press = where;
    float step = 0.0f, base = 0.0f, last = 0.0f;
    ButtonState stepState = pressState;
    if (linear) {
        step = stepFor(pressState);
        base = value;
    } else {
        Point relative{where.h - size.left, where.v - size.top};
        last = valueFromPoint(relative);
    }

    if (root) root->beginEdit(tag);
    Point handled;
    bool firstPass = true;
    ButtonState state;
    do {
        state = canvas.getButtonState();
        if (firstPass || where.h != handled.h || where.v != handled.v) {
            firstPass = false;
            handled = where;
            if (linear) {
                const int32_t d = (where.h - press.h) + (press.v - where.v);
                if (state != stepState) {
                    // A new Shift state changes the step; the base moves so that the
                    // value does not jump.
                    const float newStep = stepFor(state);
                    base = base + (step - newStep) * float(d);
                    step = newStep;
                    stepState = state;
                }
                value = base + float(d) * step;
                clampValue();
            } else {
                Point relative{where.h - size.left, where.v - size.top};
                const float candidate = valueFromPoint(relative);
                if (last - candidate > range / 2.0f) {
                    value = maxValue;
                } else if (candidate - last > range / 2.0f) {
                    value = minValue;
                } else {
                    value = candidate;
                    last = candidate;
                }
            }
            if (isDirty()) notify(canvas);
        }
        canvas.getMouseLocation(where);
        idleDuringDrag();
    } while (state & kLeftButton);
    if (root) root->endEdit(tag);
}

bool RotaryKnob::onWheel(Canvas& canvas, Point&, float distance) {
    if (!mouseEnabled) return false;
    float change = distance * wheelStep;
    if (canvas.getButtonState() & kShift) change *= 0.1f;
    value += change;
    clampValue();
    if (isDirty()) notify(canvas);
    return true;
}

// ---- FilmstripKnob ----

FilmstripKnob::FilmstripKnob(const Rect& r, ValueListener* listener, int32_t tag, int32_t imageCount,
                             int32_t imageHeight, Picture* picture, const Point& backgroundOffset)
    : RotaryKnob(r, listener, tag, picture, nullptr, backgroundOffset), imageCount(imageCount),
      imageHeight(imageHeight) {
    inset = 0;
}

FilmstripKnob::~FilmstripKnob() = default;

int32_t FilmstripKnob::frameSourceV() {
    if (imageCount <= 1 || imageHeight <= 0 || !(value > 0.0f)) return 0;
    const int32_t total = (imageCount - 1) * imageHeight;
    const double scaled = double(total) * double(value);
    // A value at or above 1 shows the last frame, never a place below the strip.
    if (scaled >= total) return total;
    const int32_t c = int32_t(scaled);
    return c - c % imageHeight;
}

void FilmstripKnob::draw(Canvas& canvas) {
    drawPicture(canvas, background, Point{0, frameSourceV()});
    setDirty(false);
}

} // namespace vl
