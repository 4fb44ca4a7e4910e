#pragma once
// Test doubles for the toolkit: a recording host and frame, an editor whose widgets a test
// builds, a recording listener, test pictures installed through the bitmap source, and a
// scripted native view (pointer positions and button states per drag pass) that draws
// into a memory surface of the real backend.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/Canvas.h"
#include "gui/Controls.h"
#include "gui/GroupView.h"
#include "gui/Picture.h"
#include "gui/Platform.h"
#include "gui/RootView.h"
#include "gui/ToolkitEditor.h"
#include "vst/EffectFrame.h"

namespace guitest {

using namespace vl;

// ---- Host and frame ----

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
};

struct TestHost {
    static std::vector<HostCall>& calls() {
        static std::vector<HostCall> list;
        return list;
    }
    // Called on audioMasterIdle (tests re-enter the editor from there).
    static std::function<void()>& onIdle() {
        static std::function<void()> f;
        return f;
    }
    static void reset() {
        calls().clear();
        onIdle() = nullptr;
    }
    static VstIntPtr VSTCALLBACK callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
        calls().push_back({opcode, index});
        if (opcode == audioMasterIdle && onIdle()) onIdle()();
        return opcode == audioMasterVersion ? 2400 : 1;
    }
    // The begin/end edit requests in order, as "b<tag>" and "e<tag>".
    static std::string edits() {
        std::string s;
        for (auto& c : calls()) {
            if (c.opcode != audioMasterBeginEdit && c.opcode != audioMasterEndEdit) continue;
            s += c.opcode == audioMasterBeginEdit ? 'b' : 'e';
            s += std::to_string(c.index);
            s += ' ';
        }
        return s;
    }
    static int count(VstInt32 opcode) {
        int n = 0;
        for (auto& c : calls()) n += c.opcode == opcode;
        return n;
    }
};

class TestFrame : public ExtendedEffectFrame {
public:
    TestFrame() : ExtendedEffectFrame(&TestHost::callback, 1, 13) {}
    void process(float**, float**, VstInt32) override {}
};

// ---- Listener ----

struct Change {
    int32_t tag;
    float value;
    ButtonState state;
};

class RecordingListener : public ValueListener {
public:
    void valueChanged(Canvas& canvas, Widget* control) override {
        auto* v = dynamic_cast<ValueWidget*>(control);
        changes.push_back({v ? v->getTag() : -1, v ? v->getValue() : 0.0f, canvas.getButtonState()});
        if (onChange) onChange(control);
    }
    std::vector<float> values(int32_t tag) const {
        std::vector<float> out;
        for (auto& c : changes)
            if (c.tag == tag) out.push_back(c.value);
        return out;
    }
    std::vector<Change> changes;
    std::function<void(Widget*)> onChange;
};

// ---- Editor ----

// An editor whose open builds the widgets a test asks for (build receives the root), and
// whose update calls are counted.
class TestEditor : public ToolkitEditor {
public:
    explicit TestEditor(EffectFrame* frame, int32_t width = 300, int32_t height = 200) : ToolkitEditor(frame) {
        rect.right = VstInt16(width);
        rect.bottom = VstInt16(height);
    }
    ~TestEditor() override { close(); }
    VstInt32 open(void* window) override {
        ToolkitEditor::open(window);
        root = new RootView(Rect{0, 0, rect.right, rect.bottom}, window, this);
        if (build) build(*root);
        return 1;
    }
    void close() override {
        if (root) root->release();
        root = nullptr;
    }
    void update() override { ++updates; }
    std::function<void(RootView&)> build;
    int updates = 0;
};

// ---- Pictures ----

// Ids of the test pictures.
enum TestPicture : int32_t {
    kStrip = 9001, // 64 frames of 6 x 6, frame i filled with stripColor(i)
    kDigits = 9002, // ten digits of 10 x 11, digit d filled with digitColor(d)
    kToggle = 9003, // 8 x 16: off (20, 40, 60) above, on (200, 180, 160) below
    kKeyed = 9004, // 4 x 1: (255,255,255) (254,255,255) (0,0,0) (255,255,254)
    kBackdrop = 9005, // 300 x 200: (h % 256, v % 256, 77)
    kHandle = 9006, // 5 x 5: white with a black centre pixel
};
inline constexpr int32_t kStripFrames = 64;
inline constexpr int32_t kStripFrameSize = 6;

inline Color stripColor(int32_t i) { return Color{uint8_t(i * 3 + 1), uint8_t(250 - i * 2), 90, 0}; }
inline Color digitColor(int32_t d) { return Color{uint8_t(d * 20 + 5), 100, 200, 0}; }
inline constexpr Color kToggleOff{20, 40, 60, 0};
inline constexpr Color kToggleOn{200, 180, 160, 0};
inline Color backdropColor(int32_t h, int32_t v) { return Color{uint8_t(h % 256), uint8_t(v % 256), 77, 0}; }

bool testBitmapSource(int32_t id, int32_t* width, int32_t* height, std::vector<uint8_t>* rgb);

// Installs the test pictures (once per process).
inline void installTestPictures() { setBitmapSource(&testBitmapSource); }

// Releases a picture when the test ends.
struct PictureRef {
    explicit PictureRef(int32_t id) : p(new Picture(id)) {}
    ~PictureRef() { p->release(); }
    Picture* operator->() const { return p; }
    operator Picture*() const { return p; }
    Picture* p;
};

// ---- Scripted view ----

struct InputStep {
    Point cursor; // window coordinates
    ButtonState state;
};

// A native view without a window system: drawing goes into a memory surface of the real
// backend ("the screen"), the pointer and buttons come from a script that advances by one
// step each time a drag loop yields (processEvents from inside a press).
class FakeView : public NativeView {
public:
    FakeView(NativeViewClient* client, const Rect& size);
    ~FakeView() override;

    static FakeView*& current();
    static NativeView* factory(void* parent, const Rect& size, NativeViewClient* client);

    void* nativeHandle() const override { return nullptr; }
    DrawSurface* createSurface() override;
    Point screenOrigin() override { return origin; }
    Point cursorScreenPosition() override { return Point{origin.h + cursor.h, origin.v + cursor.v}; }
    ButtonState buttonState() override { return state; }
    void processEvents() override;
    void dispatchPendingPaint() override { ++paintDispatches; }
    void setCursor(int32_t kind) override { cursorKinds.push_back(kind); }
    void* findHostWindow() override { return nullptr; }
    bool setDropTarget(bool enable) override {
        dropEnabled = enable;
        return true;
    }
    LineEditor* createLineEditor(const LineEditorSetup& setup, LineEditorClient* client) override;
    bool forwardKey(const VstKeyCode&, bool) override { return false; }

    // A press at where with state; each later yield of the control's loop takes the next
    // step of the script; an empty script releases everything.
    void press(Point where, ButtonState pressState, std::vector<InputStep> script = {});
    void paint(); // as the window system asking for a full paint
    Color pixel(int32_t h, int32_t v);

    NativeViewClient* client;
    Rect size;
    Point origin{100, 200};
    Point cursor;
    ButtonState state = 0;
    std::deque<InputStep> script;
    int pressDepth = 0;
    int yields = 0;
    int paintDispatches = 0;
    bool dropEnabled = false;
    std::vector<int32_t> cursorKinds;
    DrawSurface* screen; // owned
    class FakeLineEditor* editor = nullptr;
    LineEditorSetup lastSetup;
    std::string lastSetupText;
};

class FakeLineEditor : public LineEditor {
public:
    FakeLineEditor(FakeView& view, LineEditorClient* client, const char* text)
        : view(view), client(client), text(text ? text : "") {}
    ~FakeLineEditor() override {
        if (view.editor == this) view.editor = nullptr;
    }
    int32_t getText(char* buffer, int32_t size) override {
        if (!buffer || size <= 0) return 0;
        const size_t n = text.size() < size_t(size - 1) ? text.size() : size_t(size - 1);
        text.copy(buffer, n);
        buffer[n] = 0;
        return int32_t(n);
    }
    void finish() { client->lineEditorDone(); }
    FakeView& view;
    LineEditorClient* client;
    std::string text;
};

// Installs the scripted view factory for one test's lifetime.
struct FakeViewScope {
    FakeViewScope() {
        installTestPictures();
        previous = setNativeViewFactory(&FakeView::factory);
        FakeView::current() = nullptr;
    }
    ~FakeViewScope() {
        setNativeViewFactory(previous);
        FakeView::current() = nullptr;
    }
    NativeViewFactory previous;
};

// Reads a pixel of a canvas's surface.
inline Color pixelOf(Canvas& canvas, int32_t h, int32_t v) {
    Color c{1, 2, 3, 4};
    if (canvas.surface) canvas.surface->readPixel(h, v, &c);
    return c;
}

inline bool sameRgb(const Color& a, const Color& b) { return a.sameRgb(b); }

} // namespace guitest
