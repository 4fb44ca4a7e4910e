// The LV2 UI as a host shows it: found through lilv, loaded from the bundle's binary and
// opened in an X11 parent window of the test host, with and without instance access.
// Its pixels equal the VST 2 panel's in the same state; a knob drag writes the control
// port between exactly one touch start and one touch end; a program button brings the
// ports to the program's values; host port changes reach the panel. Needs an X server
// (xvfb-run); skipped without one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <thread>
#include <vector>

#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include "tests/support/Skip.h"
#include "Lv2TestHost.h"
#include "instrument/Program.h"
#include "vst/VstAbi.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include "tests/panel/HostSupport.h"

using namespace lv2test;

namespace {

constexpr int kWidth = 727, kHeight = 301;

struct HostCall {
    enum Kind { Write, Touch } kind;
    uint32_t port;
    float value; // Write
    bool grabbed; // Touch
};

std::vector<HostCall>& calls() {
    static std::vector<HostCall> c;
    return c;
}

void writePort(LV2UI_Controller, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (format != 0 || size != sizeof(float)) return ADD_FAILURE() << "port write of format " << format;
    float v;
    std::memcpy(&v, buffer, sizeof v);
    calls().push_back({HostCall::Write, port, v, false});
}

void touchPort(LV2UI_Feature_Handle, uint32_t port, bool grabbed) {
    calls().push_back({HostCall::Touch, port, 0.0f, grabbed});
}

int resizedTo[2] = {0, 0};
int resize(LV2UI_Feature_Handle, int width, int height) {
    resizedTo[0] = width;
    resizedTo[1] = height;
    return 0;
}

VstIntPtr VSTCALLBACK vstHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

using Pixels = std::vector<uint32_t>;

class Lv2Ui : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) VL_SKIP_UNAVAILABLE("no X display");
        // The server refuses a connection now and then while other clients come and go.
        for (int attempt = 0; attempt < 40 && !display; ++attempt) {
            display = XOpenDisplay(nullptr);
            if (!display) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_NE(display, nullptr) << "the X server refused every connection";
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor));
        ASSERT_NE(world.plugin, nullptr);
        calls().clear();

        // The UI as lilv describes it: an X11 UI in the bundle's binary.
        LilvUIs* uis = lilv_plugin_get_uis(world.plugin);
        ASSERT_EQ(lilv_uis_size(uis), 1u);
        const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
        LilvNode* x11 = lilv_new_uri(world.world, LV2_UI__X11UI);
        EXPECT_TRUE(lilv_ui_is_a(ui, x11));
        lilv_node_free(x11);
        uiUri = lilv_node_as_uri(lilv_ui_get_uri(ui));
        char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
        library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        lilv_free(path);
        lilv_uis_free(uis);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        EXPECT_EQ(entry(1), nullptr);
        EXPECT_STREQ(descriptor->URI, uiUri.c_str());
        idleInterface = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);

        parent = panelHostWindow(display, 0);
        vstParent = panelHostWindow(display, 340);
        XSync(display, False);
    }

    void TearDown() override {
        if (ui) descriptor->cleanup(ui);
        if (vst) vst->dispatcher(vst, effClose, 0, 0, nullptr, 0.0f);
        if (vstLibrary) dlclose(vstLibrary);
        if (display) {
            XDestroyWindow(display, parent);
            XDestroyWindow(display, vstParent);
            XCloseDisplay(display);
        }
    }

    LV2UI_Handle instantiateUi(bool instanceAccess, Window in, LV2UI_Widget* widget) {
        LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(in))};
        LV2_Feature accessFeature{LV2_INSTANCE_ACCESS_URI, plugin->handle()};
        LV2_Feature touchFeature{LV2_UI__touch, &touch};
        LV2UI_Resize resizer{nullptr, resize};
        LV2_Feature resizeFeature{LV2_UI__resize, &resizer};
        const LV2_Feature* features[] = {&world.urids.mapFeature,
                                         &parentFeature,
                                         &touchFeature,
                                         &resizeFeature,
                                         instanceAccess ? &accessFeature : nullptr,
                                         nullptr};
        return descriptor->instantiate(descriptor, "urn:tarlowe:velmorloom", VL_LV2_BUNDLE "/", writePort, nullptr,
                                       widget, features);
    }

    void openUi(bool instanceAccess) {
        plugin = std::make_unique<Instance>(world, 44100);
        ASSERT_TRUE(plugin->ok());
        LV2UI_Widget widget = nullptr;
        ui = instantiateUi(instanceAccess, parent, &widget);
        ASSERT_NE(ui, nullptr);
        panel = Window(reinterpret_cast<uintptr_t>(widget));
        ASSERT_NE(panel, parent) << "the widget is the panel's own child window";
        EXPECT_EQ(resizedTo[0], kWidth);
        EXPECT_EQ(resizedTo[1], kHeight);
        idle(30);
    }

    void openVst(const std::function<void(AEffect*)>& prepare = {}) {
        vstLibrary = dlopen(VL_VST_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(vstLibrary, nullptr) << dlerror();
        auto entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(vstLibrary, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
        vst = entry(vstHost);
        ASSERT_NE(vst, nullptr);
        if (prepare) prepare(vst);
        ASSERT_EQ(vst->dispatcher(vst, effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(vstParent)),
                                  0.0f),
                  1);
        for (int i = 0; i < 30; ++i) {
            vst->dispatcher(vst, effEditIdle, 0, 0, nullptr, 0.0f);
            XSync(display, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    void idle(int times = 3) {
        for (int i = 0; i < times; ++i) {
            EXPECT_EQ(idleInterface->idle(ui), 0);
            XSync(display, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    Pixels grab(Window w) { return windowPixels(display, w); }

    Window vstPanel() {
        const std::vector<Window> kids = childWindows(display, vstParent);
        return kids.size() == 1 ? kids[0] : 0;
    }

    // Number of pixels that differ between the two panels.
    long differingPixels() {
        const Pixels a = grab(panel), b = grab(vstPanel());
        if (a.size() != b.size() || a.empty()) return -1;
        long n = 0;
        for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
        return n;
    }

    void screen(int x, int y, int& sx, int& sy) {
        Window child;
        XTranslateCoordinates(display, panel, DefaultRootWindow(display), x, y, &sx, &sy, &child);
    }

    // Press on (x, y), move down by dy in steps, release: done by a second connection
    // while the UI idles (the knob tracks the pointer inside the idle call).
    void drag(int x, int y, int dy) {
        int sx, sy;
        screen(x, y, sx, sy);
        std::atomic<bool> done{false};
        std::thread user([&] {
            Display* c = XOpenDisplay(nullptr);
            XTestFakeMotionEvent(c, -1, sx, sy, 0);
            XTestFakeButtonEvent(c, 1, True, 0);
            XSync(c, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            for (int step = 1; step <= 5; ++step) {
                XTestFakeMotionEvent(c, -1, sx, sy + dy * step / 5, 0);
                XSync(c, False);
                std::this_thread::sleep_for(std::chrono::milliseconds(60));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            XTestFakeButtonEvent(c, 1, False, 0);
            XSync(c, False);
            XCloseDisplay(c);
            done = true;
        });
        while (!done) idle(1);
        user.join();
        idle(5);
    }

    void click(int x, int y) {
        int sx, sy;
        screen(x, y, sx, sy);
        XTestFakeMotionEvent(display, -1, sx, sy, 0);
        XTestFakeButtonEvent(display, 1, True, 0);
        XTestFakeButtonEvent(display, 1, False, 0);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        idle(5);
    }

    // The calls of one knob gesture on port: one touch start first, one touch end last,
    // and between them only writes to that port, at least one. Answers the last value.
    float expectOneGesture(uint32_t port) {
        const std::vector<HostCall>& c = calls();
        EXPECT_GE(c.size(), 3u);
        if (c.size() < 3) return -1.0f;
        EXPECT_EQ(c.front().kind, HostCall::Touch);
        EXPECT_TRUE(c.front().grabbed);
        EXPECT_EQ(c.back().kind, HostCall::Touch);
        EXPECT_FALSE(c.back().grabbed);
        for (const HostCall& h : c) EXPECT_EQ(h.port, port);
        for (std::size_t i = 1; i + 1 < c.size(); ++i) EXPECT_EQ(c[i].kind, HostCall::Write) << "call " << i;
        return c[c.size() - 2].value;
    }

    World world;
    std::unique_ptr<Instance> plugin;
    Display* display = nullptr;
    Window parent = 0, vstParent = 0, panel = 0;
    void* library = nullptr;
    void* vstLibrary = nullptr;
    AEffect* vst = nullptr;
    std::string uiUri;
    const LV2UI_Descriptor* descriptor = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    LV2UI_Handle ui = nullptr;
    LV2UI_Touch touch{nullptr, touchPort}; // the UI keeps it while open
};

// Large Level knob and the program buttons, in panel pixels.
constexpr int kLevelX = 128, kLevelY = 102;
int programButtonX(int i) { return 105 + 27 * i + 9; }
constexpr int kProgramButtonY = 28;

TEST_F(Lv2Ui, WithInstanceAccessDrawsTheVstPanelAndReportsAKnobGesture) {
    openUi(true);
    openVst();
    EXPECT_EQ(differingPixels(), 0);

    calls().clear();
    drag(kLevelX, kLevelY, 40);
    const float level = expectOneGesture(0);
    EXPECT_GE(level, 0.0f);
    EXPECT_LT(level, 1.0f);

    // The same value set on the VST 2 plug-in draws the same panel.
    vst->setParameter(vst, 0, level);
    for (int i = 0; i < 5; ++i) vst->dispatcher(vst, effEditIdle, 0, 0, nullptr, 0.0f);
    XSync(display, False);
    EXPECT_EQ(differingPixels(), 0);
}

TEST_F(Lv2Ui, ProgramButtonBringsThePortsToTheProgram) {
    for (bool access : {true, false}) {
        SCOPED_TRACE(access ? "with instance access" : "without instance access");
        openUi(access);
        calls().clear();
        click(programButtonX(3), kProgramButtonY);
        float written[13];
        for (int i = 0; i < 13; ++i) written[i] = vl::factoryPrograms[0].values[i];
        for (const HostCall& h : calls()) {
            ASSERT_EQ(h.kind, HostCall::Write);
            ASSERT_LT(h.port, 13u);
            written[h.port] = h.value;
        }
        for (int i = 0; i < 13; ++i) EXPECT_EQ(written[i], vl::factoryPrograms[3].values[i]) << "port " << i;
        descriptor->cleanup(ui);
        ui = nullptr;
    }
}

TEST_F(Lv2Ui, WithoutInstanceAccessFollowsTheHostsPortsAndReportsAKnobGesture) {
    openUi(false);
    const float level = 0.25f, voices = 0.0f, depth = 0.0f;
    descriptor->port_event(ui, 0, sizeof level, 0, &level);
    descriptor->port_event(ui, 12, sizeof voices, 0, &voices);
    descriptor->port_event(ui, 8, sizeof depth, 0, &depth);
    idle(5);
    EXPECT_TRUE(calls().empty()) << "a host change is not sent back";
    openVst([&](AEffect* e) {
        e->setParameter(e, 0, level);
        e->setParameter(e, 12, voices);
        e->setParameter(e, 8, depth);
    });
    EXPECT_EQ(differingPixels(), 0);

    calls().clear();
    drag(kLevelX, kLevelY, -30);
    const float raised = expectOneGesture(0);
    EXPECT_GT(raised, level);
}

// A second UI on the same instance (a host showing two) gets a panel of its own that still
// works the ports; closing either leaves the other working.
TEST_F(Lv2Ui, TwoUisOnOneInstance) {
    openUi(true);
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle second = instantiateUi(true, vstParent, &widget);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(Window(reinterpret_cast<uintptr_t>(widget)), panel);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(idleInterface->idle(second), 0);
    descriptor->cleanup(second);
    calls().clear();
    drag(kLevelX, kLevelY, 40);
    expectOneGesture(0);
}

} // namespace
