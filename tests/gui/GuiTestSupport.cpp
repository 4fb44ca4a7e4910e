#include "GuiTestSupport.h"

namespace guitest {

bool testBitmapSource(int32_t id, int32_t* width, int32_t* height, std::vector<uint8_t>* rgb) {
    auto make = [&](int32_t w, int32_t h, auto colorAt) {
        *width = w;
        *height = h;
        rgb->resize(size_t(w) * h * 3);
        for (int32_t v = 0; v < h; ++v)
            for (int32_t x = 0; x < w; ++x) {
                const Color c = colorAt(x, v);
                uint8_t* p = rgb->data() + (size_t(v) * w + x) * 3;
                p[0] = c.red;
                p[1] = c.green;
                p[2] = c.blue;
            }
        return true;
    };
    switch (id) {
    case kStrip:
        return make(kStripFrameSize, kStripFrames * kStripFrameSize,
                    [](int32_t, int32_t v) { return stripColor(v / kStripFrameSize); });
    case kDigits:
        return make(10, 110, [](int32_t, int32_t v) { return digitColor(v / 11); });
    case kToggle:
        return make(8, 16, [](int32_t, int32_t v) { return v < 8 ? kToggleOff : kToggleOn; });
    case kKeyed: {
        static const Color row[4] = {{255, 255, 255, 0}, {254, 255, 255, 0}, {0, 0, 0, 0}, {255, 255, 254, 0}};
        return make(4, 1, [](int32_t h, int32_t) { return row[h]; });
    }
    case kBackdrop:
        return make(300, 200, [](int32_t h, int32_t v) { return backdropColor(h, v); });
    case kHandle:
        return make(5, 5, [](int32_t h, int32_t v) {
            return (h == 2 && v == 2) ? Color{0, 0, 0, 0} : Color{255, 255, 255, 0};
        });
    default:
        return false;
    }
}

// ---- FakeView ----

namespace {

// A window surface: draws into the view's memory screen without owning it.
class ScreenSurface : public DrawSurface {
public:
    explicit ScreenSurface(DrawSurface& s) : s(s) {}
    void setPen(Color c, int32_t w, int32_t style) override { s.setPen(c, w, style); }
    bool setBrush(Color c) override { return s.setBrush(c); }
    void setTextColor(Color c) override { s.setTextColor(c); }
    void setTextBackground(Color c) override { s.setTextBackground(c); }
    void setFont(FontId id, int32_t size) override { s.setFont(id, size); }
    void moveTo(int32_t h, int32_t v) override { s.moveTo(h, v); }
    void lineTo(int32_t h, int32_t v) override { s.lineTo(h, v); }
    void polyline(const Point* p, int32_t n) override { s.polyline(p, n); }
    void fillRect(const Rect& r) override { s.fillRect(r); }
    void drawText(const char* t, const Rect& r, bool o, int32_t a) override { s.drawText(t, r, o, a); }
    void drawImage(PlatformImage& i, const Rect& d, Point p, bool t) override { s.drawImage(i, d, p, t); }
    void copyFrom(DrawSurface& src, const Rect& d, Point p) override { s.copyFrom(src, d, p); }
    bool readPixel(int32_t h, int32_t v, Color* out) override { return s.readPixel(h, v, out); }

private:
    DrawSurface& s;
};

} // namespace

FakeView::FakeView(NativeViewClient* client, const Rect& size)
    : client(client), size(size), screen(createOffscreenSurface(nullptr, size.width(), size.height())) {}

FakeView::~FakeView() {
    delete screen;
    if (current() == this) current() = nullptr;
}

FakeView*& FakeView::current() {
    static FakeView* view = nullptr;
    return view;
}

NativeView* FakeView::factory(void*, const Rect& size, NativeViewClient* client) {
    auto* v = new FakeView(client, size);
    current() = v;
    return v;
}

DrawSurface* FakeView::createSurface() { return screen ? new ScreenSurface(*screen) : nullptr; }

void FakeView::processEvents() {
    if (pressDepth == 0) return;
    ++yields;
    if (script.empty()) {
        state = 0;
        return;
    }
    cursor = script.front().cursor;
    state = script.front().state;
    script.pop_front();
}

LineEditor* FakeView::createLineEditor(const LineEditorSetup& setup, LineEditorClient* c) {
    if (editor) return nullptr;
    lastSetup = setup;
    lastSetupText = setup.text ? setup.text : "";
    editor = new FakeLineEditor(*this, c, setup.text);
    return editor;
}

void FakeView::press(Point where, ButtonState pressState, std::vector<InputStep> steps) {
    cursor = where;
    state = pressState;
    script.assign(steps.begin(), steps.end());
    ++pressDepth;
    client->viewMouseDown(where);
    --pressDepth;
    state = 0;
}

void FakeView::paint() {
    std::unique_ptr<DrawSurface> s(createSurface());
    if (s) client->viewPaint(*s);
}

Color FakeView::pixel(int32_t h, int32_t v) {
    Color c{1, 2, 3, 4};
    if (screen) screen->readPixel(h, v, &c);
    return c;
}

} // namespace guitest
