#pragma once
// Controls: widgets with a value, drawn from pictures, following the mouse with polling
// loops and reporting changes to a ValueListener.
//
//   Widget
//     ValueWidget (abstract)
//       ToggleButton, MomentaryButton, RotaryKnob -> FilmstripKnob,
//       ValueLabel -> TextField, DigitDisplay

#include <string>

#include "gui/Platform.h"
#include "gui/Widget.h"

namespace vl {

class Picture;

// Formatter callbacks write at most 255 characters and a terminating zero into text.
using ValueFormatter = void (*)(float value, char* text);
using ValueDataFormatter = void (*)(float value, char* text, void* userData);
using ValueParser = bool (*)(const char* text, float* value, void* userData);
using TextFormatter = void (*)(const char* in, char* out);
using TextDataFormatter = void (*)(const char* in, char* out, void* userData);

// Process-wide knob mode: 2 selects linear knob dragging, any other value circular.
int32_t getKnobMode();
void setGlobalKnobMode(int32_t mode);

class ValueWidget : public Widget {
public:
    // Mouse enabled, opaque; value 0, drawn value 1 (so a new control is dirty), default
    // 0.5, range 0..1, wheel step 0.1. The background picture is retained.
    ValueWidget(const Rect& size, ValueListener* listener, int32_t tag, Picture* background);
    ~ValueWidget() override;

    // Dirty when the value differs from the drawn value or the flag is set.
    bool isDirty() override;
    // true: flag set and the drawn value made different (-1, or 0 when the value is -1);
    // false: flag cleared, drawn value = value.
    void setDirty(bool state = true) override;

    // ---- Virtual operations after slot 21 ----
    virtual void idleDuringDrag();
    virtual void setValue(float v) { value = v; }
    virtual float getValue() { return value; }
    virtual void setMin(float v) { minValue = v; }
    virtual float getMin() { return minValue; }
    virtual void setMax(float v) { maxValue = v; }
    virtual float getMax() { return maxValue; }
    virtual void setDrawnValue(float v) { drawnValue = v; }
    virtual float getDrawnValue() { return drawnValue; }
    virtual void setDefault(float v) { defaultValue = v; }
    virtual float getDefault() { return defaultValue; }
    virtual void setTag(int32_t t) { tag = t; }
    virtual void setBackground(Picture* picture);
    virtual Picture* getBackground() { return background; }
    virtual void setWheelStep(float step) { wheelStep = step; }
    virtual float getWheelStep() { return wheelStep; }
    virtual void clampValue();

    // ---- Non-virtual ----
    int32_t getTag() const { return tag; }
    ValueListener* getListener() const { return listener; }
    void setListener(ValueListener* l) { listener = l; }

protected:
    // The background (or another picture) with the transparent blit when the widget is
    // transparent, else opaque; destination = the size.
    void drawPicture(Canvas& canvas, Picture* picture, const Point& source);
    void notify(Canvas& canvas);

    ValueListener* listener; // not owned
    int32_t tag;
    float drawnValue = 1.0f;
    float defaultValue = 0.5f;
    float value = 0.0f;
    float minValue = 0.0f;
    float maxValue = 1.0f;
    float wheelStep = 0.1f;
    Picture* background = nullptr;
};

// Two images stacked vertically in the background: off on top, on below.
class ToggleButton : public ValueWidget {
public:
    ToggleButton(const Rect& size, ValueListener* listener, int32_t tag, Picture* background);
    ~ToggleButton() override;
    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point& where) override;
};

// Released image at the image offset, pressed image one image height below. A press sends
// 1.0 while held and 0.0 once on the release.
class MomentaryButton : public ValueWidget {
public:
    MomentaryButton(const Rect& size, ValueListener* listener, int32_t tag, int32_t imageHeight, Picture* background,
                    const Point& imageOffset);
    ~MomentaryButton() override;
    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point& where) override;

protected:
    Point imageOffset;
    int32_t imageHeight;
};

class RotaryKnob : public ValueWidget {
public:
    RotaryKnob(const Rect& size, ValueListener* listener, int32_t tag, Picture* background, Picture* handle,
               const Point& backgroundOffset);
    ~RotaryKnob() override;
    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point& where) override;
    bool onWheel(Canvas& canvas, Point& where, float distance) override;

    // ---- Virtual operations after slot 38 ----
    virtual void drawHandle(Canvas& canvas);
    virtual void setStartAngle(float angle);
    virtual float getStartAngle() { return startAngle; }
    virtual void setRangeAngle(float angle);
    virtual float getRangeAngle() { return rangeAngle; }
    // Handle point of the value, relative to the knob's top-left.
    virtual void valueToPoint(Point& p);
    // Value at p (relative to the knob's top-left).
    virtual float valueFromPoint(Point& p);
    virtual void setInset(int32_t newInset) { inset = newInset; }
    virtual void setShadowColor(const Color& c);
    virtual void setHandleColor(const Color& c);
    virtual void setHandlePicture(Picture* picture);
    virtual void setFineFactor(float factor) { fineFactor = factor; }
    virtual float getFineFactor() { return fineFactor; }

    int32_t getInset() const { return inset; }

protected:
    void computeCoefficients();

    Point backgroundOffset;
    Color handleColor = kWhiteColor;
    Color shadowColor = kGreyColor;
    Picture* handlePicture = nullptr;
    int32_t inset = 3;
    float startAngle = 0.0f;
    float rangeAngle = 1.0f;
    float halfGap = 0.0f;
    float valuePerRadian = 0.0f;
    float valueOffset = 0.0f;
    float radius = 0.0f;
    float fineFactor = 1.5f;
};

// A knob drawn as one of imageCount frames of imageHeight pixels stacked in the background.
class FilmstripKnob : public RotaryKnob {
public:
    FilmstripKnob(const Rect& size, ValueListener* listener, int32_t tag, int32_t imageCount, int32_t imageHeight,
                  Picture* background, const Point& backgroundOffset);
    ~FilmstripKnob() override;
    void draw(Canvas& canvas) override;
    // Source v of the frame shown for the current value.
    int32_t frameSourceV();

protected:
    int32_t imageCount;
    int32_t imageHeight;
};

// Style bits of ValueLabel and TextField.
inline constexpr int32_t kShadowText = 0x4;
inline constexpr int32_t kBevelIn = 0x80;
inline constexpr int32_t kBevelOut = 0x100;
inline constexpr int32_t kNoText = 0x800;
inline constexpr int32_t kNoDraw = 0x1000;
inline constexpr int32_t kDoubleClickToEdit = 0x2000;

// Text of the value, centred by default; it does not react to the mouse.
class ValueLabel : public ValueWidget {
public:
    ValueLabel(const Rect& size, Picture* background, int32_t style);
    ~ValueLabel() override;
    void draw(Canvas& canvas) override;

    // ---- Virtual operations after slot 38 ----
    virtual void setFont(FontId id);
    virtual void setFontColor(const Color& c);
    virtual void setBackColor(const Color& c);
    virtual void setFrameColor(const Color& c);
    virtual void setShadowColor(const Color& c);
    virtual void setAlignment(int32_t newAlignment);
    virtual void setBackOffset(const Point& p) { backOffset = p; }
    virtual void setFormatter(ValueDataFormatter formatter, void* data);
    virtual void setSimpleFormatter(ValueFormatter formatter) { simpleFormatter = formatter; }
    virtual void setParser(ValueParser p) { parser = p; }
    virtual void setStyle(int32_t newStyle);
    virtual int32_t getStyle() { return style; }
    virtual void setTextTransparent(bool state) { textTransparent = state; }
    virtual bool isTextTransparent() { return textTransparent; }

    FontId getFont() const { return font; }
    int32_t getAlignment() const { return alignment; }
    const Color& getFontColor() const { return fontColor; }
    const Color& getBackColor() const { return backColor; }

protected:
    // Background (picture or filled cell), bevel, text with optional shadow; setDirty(false).
    void drawText(Canvas& canvas, const char* text, Picture* picture);

    ValueFormatter simpleFormatter = nullptr;
    ValueDataFormatter dataFormatter = nullptr;
    ValueParser parser = nullptr;
    void* userData = nullptr;
    int32_t alignment = 1;
    int32_t style;
    FontId font = 3;
    Color fontColor = kWhiteColor;
    Color backColor = kBlackColor;
    Color frameColor = kBlackColor;
    Color labelShadowColor = kRedColor;
    Point backOffset;
    bool textTransparent = true;
};

// Editable text. A click (or a double click with kDoubleClickToEdit) opens the platform's
// line editor over the field; Return or focus loss commits, and a changed text is reported
// to the listener.
class TextField : public ValueLabel, private LineEditorClient {
public:
    static constexpr int32_t kTextSize = 256; // at most 255 characters and the zero
    static constexpr int32_t kMaxEditLength = 254; // characters the editor accepts

    TextField(const Rect& size, ValueListener* listener, int32_t tag, const char* text, Picture* background,
              int32_t style);
    ~TextField() override;
    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point& where) override;
    void loseFocus(Canvas* canvas) override;
    void takeFocus(Canvas* canvas) override;

    // ---- Virtual operations after slot 52 ----
    // Ignored for null; a different text is copied (at most 255 characters), setDirty(true).
    virtual void setText(const char* newText);
    // Copies the text into buffer of size bytes (cut to size - 1 characters, always
    // terminated); nothing for a null buffer or size <= 0. Answers the length copied.
    virtual int32_t getText(char* buffer, int32_t bufferSize);
    virtual void setTextFormatter(TextDataFormatter formatter, void* data);
    virtual void setSimpleTextFormatter(TextFormatter formatter) { simpleTextFormatter = formatter; }

    bool isEditing() const { return editor != nullptr; }
    LineEditor* getLineEditor() const { return editor; }
    // Bytes the editor accepts (kMaxEditLength unless set); above kTextSize - 1 the field
    // also keeps that many (a longer text given to it is cut there).
    void setMaxLength(int32_t bytes);
    int32_t getMaxLength() const { return maxLength; }

private:
    void lineEditorDone() override;
    // The text cut to what the field keeps.
    std::string kept(const char* newText) const;

    LineEditor* editor = nullptr; // owned while editing
    std::string text;
    int32_t maxLength = kMaxEditLength;
    TextFormatter simpleTextFormatter = nullptr;
    TextDataFormatter dataTextFormatter = nullptr;
    uint32_t lastClickTime = 0; // 0 = no click pending
};

// Up to 7 digits drawn from a vertical strip of the ten digit images 0..9.
class DigitDisplay : public ValueWidget {
public:
    static constexpr int32_t kMaxDigits = 7;

    // Counts above 7 are taken as 7 (below 1 as 1); range 0 .. 10^count - 1.
    DigitDisplay(const Rect& size, ValueListener* listener, int32_t tag, int32_t startValue, int32_t digitCount,
                 const int32_t* lefts, const int32_t* tops, int32_t digitWidth, int32_t digitHeight,
                 Picture* background);
    ~DigitDisplay() override;
    void draw(Canvas& canvas) override;

    // ---- Virtual operation after slot 38 ----
    // value / max, limited to 0..1.
    virtual float getNormalizedValue();

    // The digits the display shows for its value (count entries, first = most significant).
    int32_t shownDigits(int32_t* digits);

protected:
    int32_t digitCount;
    int32_t lefts[kMaxDigits] = {};
    int32_t tops[kMaxDigits] = {};
    int32_t digitWidth;
    int32_t digitHeight;
};

} // namespace vl
