// Cost of drawing the panel: the full composition of a 727 x 301 page of 13 filmstrip knobs
// and 13 three-digit displays (what every exposure costs), the idle redraw after one knob
// moved, one transparent blit of a knob-sized picture, and, with an X display, the same
// idle redraw through a real window (drawing plus the copy to the window).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "gui/Canvas.h"
#include "gui/Controls.h"
#include "gui/GroupView.h"
#include "gui/Picture.h"
#include "gui/RootView.h"
#include "resources/BitmapResources.h"

#if !defined(_WIN32)
#include <X11/Xlib.h>
#endif

namespace {

using namespace vl;

// The panel's pictures and a page laid out like the instrument's.
struct Panel {
    Picture* background = new Picture(kBitmapBackground);
    Picture* smallKnob = new Picture(kBitmapSmallKnob);
    Picture* largeKnob = new Picture(kBitmapLargeKnob);
    Picture* digits = new Picture(kBitmapDigits);
    RootView* root;
    GroupView* page;
    FilmstripKnob* knobs[13] = {};

    explicit Panel(void* parentWindow) {
        root = new RootView(Rect{0, 0, 727, 301}, parentWindow, nullptr);
        root->setBackground(background);
        page = new GroupView(Rect{0, 0, 727, 301}, root, background);
        for (int i = 0; i < 13; ++i) {
            const bool large = i == 0 || i == 12;
            const int32_t size = large ? 48 : 37;
            const int32_t left = large ? 104 : 191 + 66 * ((i - 1) % 6),
                          top = large ? (i == 0 ? 78 : 176) : (i < 7 ? 77 : 174);
            knobs[i] = new FilmstripKnob(Rect{left, top, left + size, top + size}, nullptr, i, 66, size,
                                         large ? largeKnob : smallKnob, Point{});
            knobs[i]->setValue(float(i) / 12.0f);
            page->addView(knobs[i]);
            const int32_t lefts[3] = {left + 4, left + 14, left + 24},
                          tops[3] = {top + size + 17, top + size + 17, top + size + 17};
            page->addView(new DigitDisplay(Rect{left + 4, tops[0], left + size - 4, tops[0] + 12}, nullptr, 13 + i,
                                           i * 9, 3, lefts, tops, 10, 11, digits));
        }
        root->addView(page);
    }
    ~Panel() {
        root->release();
        for (Picture* p : {background, smallKnob, largeKnob, digits}) p->release();
    }
};

void BM_PanelFullDraw(benchmark::State& state) {
    Panel panel(nullptr);
    OffscreenCanvas screen(panel.root, 727, 301, kBlackColor);
    for (auto _ : state) {
        panel.root->draw(screen);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PanelFullDraw)->Unit(benchmark::kMicrosecond);

void BM_IdleRedrawAfterOneKnobMoved(benchmark::State& state) {
    Panel panel(nullptr);
    OffscreenCanvas screen(panel.root, 727, 301, kBlackColor);
    panel.root->draw(screen);
    panel.root->update(screen);
    float value = 0.0f;
    for (auto _ : state) {
        value = value > 0.99f ? 0.0f : value + 0.01f;
        panel.knobs[3]->setValue(value);
        panel.root->update(screen); // the page is dirty: it composes again and is copied
    }
}
BENCHMARK(BM_IdleRedrawAfterOneKnobMoved)->Unit(benchmark::kMicrosecond);

void BM_TransparentBlitOfAKnobFrame(benchmark::State& state) {
    Picture* knob = new Picture(kBitmapLargeKnob);
    OffscreenCanvas screen(nullptr, 100, 100, kBlackColor);
    for (auto _ : state) {
        knob->drawTransparent(screen, Rect{10, 10, 58, 58}, Point{0, 480});
        benchmark::ClobberMemory();
    }
    knob->release();
}
BENCHMARK(BM_TransparentBlitOfAKnobFrame);

#if !defined(_WIN32)
void BM_IdleRedrawInAnXWindow(benchmark::State& state) {
    Display* d = std::getenv("DISPLAY") ? XOpenDisplay(nullptr) : nullptr;
    if (!d) {
        state.SkipWithError("no X display");
        for (auto _ : state) {
        }
        return;
    }
    Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 727, 301, 0, 0, 0);
    XMapWindow(d, parent);
    XSync(d, False);
    {
        Panel panel(reinterpret_cast<void*>(parent));
        panel.root->redraw(nullptr);
        panel.root->idle();
        float value = 0.0f;
        for (auto _ : state) {
            value = value > 0.99f ? 0.0f : value + 0.01f;
            panel.knobs[3]->setValue(value);
            panel.root->idle();
        }
    }
    XDestroyWindow(d, parent);
    XCloseDisplay(d);
}
BENCHMARK(BM_IdleRedrawInAnXWindow)->Unit(benchmark::kMicrosecond);
#endif

} // namespace
