#include "instrument/InstrumentEditor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "gui/Canvas.h"
#include "gui/GroupView.h"
#include "gui/Picture.h"
#include "gui/Platform.h"
#include "gui/RootView.h"
#include "instrument/ErrorReport.h"
#include "instrument/Instrument.h"
#include "instrument/Parameters.h"

#if !defined(_WIN32)
#include "instrument/linux/PanelNotice.h"
#endif

namespace vl {

namespace {

// The shared pictures' resource ids by slot (guarded by pictureLock; tests may name a
// missing id to see the refusal).
std::array<int32_t, InstrumentEditor::kPictureCount> pictureIds = [] {
    std::array<int32_t, InstrumentEditor::kPictureCount> ids{};
    std::copy(std::begin(panel::kSlotPictures), std::end(panel::kSlotPictures), ids.begin());
    return ids;
}();

// Shared by every editor of the process; guarded by pictureLock.
std::mutex pictureLock;
Picture* pictures[InstrumentEditor::kPictureCount] = {};
int32_t editors = 0;

static_assert(panel::kParameterCount == kNumParameters);
constexpr Color kNameText{panel::kNameText.red, panel::kNameText.green, panel::kNameText.blue, 0};
constexpr Color kNameBack{panel::kNameBack.red, panel::kNameBack.green, panel::kNameBack.blue, 0};
constexpr int kVoicesParameter = 12; // its display shows the voice count

void installNoticeWindows() {
#if !defined(_WIN32)
    // notices become small windows while a panel is open
    panelnotice::install();
#endif
}

} // namespace

// ---- Construction and destruction ------------------------------------------------------

InstrumentEditor::InstrumentEditor(Instrument* owner) : ToolkitEditor(owner), instrument(owner) {
    installNoticeWindows();
    if (!takePictures()) return;
    Picture* background = held[panel::kBackgroundSlot];
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<VstInt16>(background->height);
    rect.right = static_cast<VstInt16>(background->width);
    {
        std::lock_guard<std::mutex> lock(pictureLock);
        ++editors;
    }
    ready = true;
}

InstrumentEditor::~InstrumentEditor() {
    close();
    releasePictures();
    if (ready) {
        std::lock_guard<std::mutex> lock(pictureLock);
        --editors;
    }
}

bool InstrumentEditor::takePictures() {
    ErrorCode failure = ErrorCode::unknown;
    bool failed = false;
    {
        std::lock_guard<std::mutex> lock(pictureLock);
        for (int slot = 0; slot < kPictureCount && !failed; ++slot) {
            if (pictures[slot]) {
                pictures[slot]->retain();
            } else {
                pictures[slot] = new (std::nothrow) Picture(pictureIds[slot]);
                if (!pictures[slot]) {
                    failure = ErrorCode::outOfMemory;
                    failed = true;
                    break;
                }
            }
            held[slot] = pictures[slot];
            // A picture that did not load stays in its slot; every editor that meets it
            // is not ready.
            if (pictures[slot]->width <= 0 || pictures[slot]->height <= 0) {
                failure = ErrorCode::bitmapNotLoaded;
                failed = true;
            }
        }
    }
    if (failed) showError(failure); // outside the lock: the notice waits for the user
    return !failed;
}

void InstrumentEditor::releasePictures() {
    std::lock_guard<std::mutex> lock(pictureLock);
    for (int slot = 0; slot < kPictureCount; ++slot) {
        Picture* picture = held[slot];
        if (!picture) continue;
        held[slot] = nullptr;
        // The last holder empties the slot, so that the next editor loads it again.
        if (picture->getRefCount() <= 1) pictures[slot] = nullptr;
        picture->release();
    }
}

int32_t InstrumentEditor::editorCount() {
    std::lock_guard<std::mutex> lock(pictureLock);
    return editors;
}

Picture* InstrumentEditor::sharedPicture(int slot) {
    if (slot < 0 || slot >= kPictureCount) return nullptr;
    std::lock_guard<std::mutex> lock(pictureLock);
    return pictures[slot];
}

int32_t InstrumentEditor::sharedPictureId(int slot) {
    if (slot < 0 || slot >= kPictureCount) return 0;
    std::lock_guard<std::mutex> lock(pictureLock);
    return pictureIds[slot];
}

int32_t InstrumentEditor::replacePictureId(int slot, int32_t id) {
    if (slot < 0 || slot >= kPictureCount) return 0;
    std::lock_guard<std::mutex> lock(pictureLock);
    const int32_t previous = pictureIds[slot];
    pictureIds[slot] = id;
    return previous;
}

// ---- Open and close ----------------------------------------------------------------------

VstInt32 InstrumentEditor::open(void* window) {
    if (!ready) return 0;
    if (root) close(); // a second open rebuilds the panel
    ToolkitEditor::open(window);

    Picture* background = held[panel::kBackgroundSlot];
    const Rect size{0, 0, background->width, background->height};
    root = new (std::nothrow) RootView(size, window, this);
    if (!root) {
        showError(ErrorCode::outOfMemory);
        return 0;
    }
    if (window && !root->getView()) {
        // the window system refused the panel's window (no connection to the display)
        close();
        return 0;
    }
    root->setBackground(background);
    page = new (std::nothrow) GroupView(size, root, background);
    if (!page) {
        close();
        showError(ErrorCode::outOfMemory);
        return 0;
    }
    page->setBackground(background);
    page->setBackgroundOffset(Point{0, 0});
    std::fill(std::begin(fileButtonArmed), std::end(fileButtonArmed), false);
    {
        std::lock_guard<std::mutex> lock(panelLock);
        panelOpen = true;
        uiThread = std::this_thread::get_id();
        std::fill(std::begin(controls), std::end(controls), nullptr);
        std::fill(std::begin(valueStored), std::end(valueStored), false);
        nameStored = false;
    }

    setKnobMode(2); // linear knob dragging, every time the panel opens
    bool ok = true;
    for (const panel::KnobPlace& k : panel::kKnobs) {
        ok = addKnob(k);
        if (!ok) break;
    }
    for (int i = 0; ok && i < panel::kFileButtonCount; ++i) {
        const panel::ButtonPlace& b = panel::kFileButtons[i];
        Picture* picture = held[panel::kFirstFileSlot + i];
        const int32_t imageHeight = panel::imageHeight(b.picture);
        const Rect r{b.left, b.top, b.left + picture->width, b.top + imageHeight};
        ok = addWidget(new (std::nothrow) MomentaryButton(r, this, b.tag, imageHeight, picture, Point{0, 0}), b.tag);
    }
    for (int i = 0; ok && i < panel::kProgramButtonCount; ++i) {
        Picture* picture = held[panel::kFirstProgramSlot + i];
        const int32_t left = panel::programLeft(i);
        const Rect r{left, panel::kProgramTop, left + picture->width, panel::kProgramTop + picture->height / 2};
        ok = addWidget(new (std::nothrow) ToggleButton(r, this, kFirstProgramTag + i, picture), kFirstProgramTag + i);
    }
    TextField* name = nullptr;
    if (ok) {
        const Rect field{panel::kNameLeft, panel::kNameTop, panel::kNameRight, panel::kNameBottom};
        name = new (std::nothrow) TextField(field, this, kNameTag, nullptr, nullptr, 0);
        if (name) {
            name->setFont(3);
            name->setFontColor(kNameText);
            name->setBackColor(kNameBack);
            name->setFrameColor(kNameBack);
            name->setTransparent(true);
        }
        ok = addWidget(name, kNameTag);
    }
    if (!ok) {
        close();
        return 0;
    }
    char text[kVstMaxProgNameLen + 1] = {};
    instrument->getProgramName(text);
    name->setText(text);
    setParameter(kFirstProgramTag + instrument->getProgram(), 1.0f);

    root->addView(page); // page 0 shown
    root->redraw(nullptr); // painted at once, not only at the first idle
#if !defined(_WIN32)
    // notices from now on appear as windows owned by the host's window
    void* hostWindow = root->findHostWindow();
    panelnotice::panelOpened(reinterpret_cast<unsigned long>(hostWindow ? hostWindow : window));
    noticeWindows = true;
#endif
    return 1;
}

bool InstrumentEditor::addKnob(const panel::KnobPlace& place) {
    Picture* strip = held[place.large ? panel::kLargeKnobSlot : panel::kSmallKnobSlot];
    const int32_t frameHeight = strip->height / panel::kKnobFrames;
    const Rect knob{place.left, place.top, place.left + strip->width, place.top + frameHeight};
    if (!addWidget(new (std::nothrow)
                       FilmstripKnob(knob, this, place.parameter, panel::kKnobFrames, frameHeight, strip, Point{0, 0}),
                   place.parameter))
        return false;
    const int32_t gap = panel::displayGap(place);
    const Rect display{knob.left + panel::kDisplayInset, knob.bottom + gap, knob.right - panel::kDisplayInset,
                       knob.bottom + gap + panel::kDisplayHeight};
    int32_t lefts[panel::kDigitCount], tops[panel::kDigitCount];
    for (int i = 0; i < panel::kDigitCount; ++i) {
        lefts[i] = display.left + i * panel::kDigitWidth;
        tops[i] = display.top;
    }
    const int tag = place.parameter + kDisplayTagOffset;
    if (!addWidget(new (std::nothrow) DigitDisplay(display, this, tag, 0, panel::kDigitCount, lefts, tops,
                                                   panel::kDigitWidth, panel::kDigitHeight, held[panel::kDigitSlot]),
                   tag))
        return false;
    setParameter(place.parameter, instrument->getParameter(place.parameter));
    return true;
}

bool InstrumentEditor::addWidget(ValueWidget* widget, int tag) {
    if (!widget) {
        showError(ErrorCode::outOfMemory);
        return false;
    }
    page->addView(widget); // the page takes the creation reference
    {
        std::lock_guard<std::mutex> lock(panelLock);
        controls[tag] = widget;
    }
    if (tag >= 0 && tag < kNumParameters) {
        const ParameterInfo& info = parameterTable[tag];
        widget->setDefault(info.defaultValue);
        widget->setMin(info.minValue);
        widget->setMax(info.maxValue);
        setParameter(tag, instrument->getParameter(tag));
    }
    return true;
}

bool InstrumentEditor::addControl(ValueWidget* control, int tag) {
    if (!control) return false;
    if (!page || tag < 0 || tag >= kControlCount) {
        control->release();
        return false;
    }
    page->addView(control);
    std::lock_guard<std::mutex> lock(panelLock);
    controls[tag] = control;
    return true;
}

void InstrumentEditor::close() {
#if !defined(_WIN32)
    if (noticeWindows) panelnotice::panelClosed();
    noticeWindows = false;
#endif
    {
        std::lock_guard<std::mutex> lock(panelLock);
        panelOpen = false;
        std::fill(std::begin(controls), std::end(controls), nullptr);
        std::fill(std::begin(valueStored), std::end(valueStored), false);
        nameStored = false;
    }
    if (root) {
        // Detached first: a text field that ends its editing while the root goes away
        // reports to valueChanged, which must find the panel closed.
        RootView* oldRoot = root;
        GroupView* oldPage = page;
        root = nullptr;
        page = nullptr;
        if (oldPage && !oldRoot->isChild(oldPage)) oldPage->release();
        oldRoot->release();
    }
    ToolkitEditor::close();
}

bool InstrumentEditor::isOpen() {
    std::lock_guard<std::mutex> lock(panelLock);
    return panelOpen;
}

Widget* InstrumentEditor::getControl(int tag) {
    if (tag < 0 || tag >= kControlCount) return nullptr;
    std::lock_guard<std::mutex> lock(panelLock);
    return controls[tag];
}

// ---- Values from the instrument --------------------------------------------------------

void InstrumentEditor::postUpdate() {
    // Any thread; idle turns it into the toolkit's update request.
    updatePosted.store(true, std::memory_order_release);
}

bool InstrumentEditor::onWheel(float) { return true; }

void InstrumentEditor::setParameter(VstInt32 tag, float value) {
    if (tag < 0 || tag >= kControlCount) return;
    // The voice count comes from the engine, under its lock, before the panel lock.
    const int32_t voices = tag == kVoicesParameter ? instrument->currentVoiceLimit() : 0;
    bool direct = false;
    {
        std::lock_guard<std::mutex> lock(panelLock);
        if (!panelOpen) return;
        direct = std::this_thread::get_id() == uiThread;
        valueStored[tag] = !direct;
        if (!direct) {
            storedValue[tag] = value;
            if (tag == kVoicesParameter) storedVoices = voices;
        }
    }
    if (direct) applyValue(tag, value, voices);
    postUpdate();
}

void InstrumentEditor::applyValue(int tag, float value, int32_t voices) {
    if (auto* widget = dynamic_cast<ValueWidget*>(controls[tag])) {
        widget->setValue(value);
        widget->setDirty(true);
    }
    if (tag < kNumParameters) {
        if (auto* display = dynamic_cast<ValueWidget*>(controls[tag + kDisplayTagOffset])) {
            display->setValue(tag == kVoicesParameter ? static_cast<float>(voices) : value * 127.0f);
            display->setDirty(true);
        }
    }
}

void InstrumentEditor::showProgram(const char* name) {
    if (!name) return;
    bool direct = false;
    {
        std::lock_guard<std::mutex> lock(panelLock);
        if (!panelOpen) return;
        direct = std::this_thread::get_id() == uiThread;
        nameStored = !direct;
        if (!direct) {
            std::strncpy(storedName, name, sizeof storedName - 1);
            storedName[sizeof storedName - 1] = '\0';
        }
    }
    if (direct) {
        if (auto* field = dynamic_cast<TextField*>(controls[kNameTag])) field->setText(name);
    }
    for (int t = kFirstProgramTag; t < kFirstProgramTag + kNumPrograms; ++t) setParameter(t, 0.0f);
    setParameter(kFirstProgramTag + instrument->getProgram(), 1.0f);
}

void InstrumentEditor::applyStored() {
    float values[kControlCount];
    bool has[kControlCount];
    char name[TextField::kTextSize];
    bool hasName = false;
    int32_t voices = 0;
    {
        std::lock_guard<std::mutex> lock(panelLock);
        if (!panelOpen) return;
        std::copy(std::begin(storedValue), std::end(storedValue), values);
        std::copy(std::begin(valueStored), std::end(valueStored), has);
        std::fill(std::begin(valueStored), std::end(valueStored), false);
        voices = storedVoices;
        hasName = nameStored;
        nameStored = false;
        if (hasName) std::memcpy(name, storedName, sizeof name);
    }
    if (hasName) {
        if (auto* field = dynamic_cast<TextField*>(controls[kNameTag])) field->setText(name);
    }
    for (int tag = 0; tag < kControlCount; ++tag)
        if (has[tag]) applyValue(tag, values[tag], voices);
}

void InstrumentEditor::idle() {
    if (updatePosted.exchange(false, std::memory_order_acq_rel)) EditorBase::postUpdate();
    if (!isInIdle()) applyStored();
    ToolkitEditor::idle();
}

// ---- Values from the user ------------------------------------------------------------

void InstrumentEditor::valueChanged(Canvas& canvas, Widget* control) {
    auto* widget = dynamic_cast<ValueWidget*>(control);
    if (!widget) {
        postUpdate();
        return;
    }
    const int tag = widget->getTag();
    const float value = widget->getValue();
    if (tag >= 0 && tag < kNumParameters) {
        instrument->setParameterAutomated(tag, value);
    } else {
        const ButtonState state = canvas.getButtonState();
        if (tag == kNameTag) {
            if (auto* field = dynamic_cast<TextField*>(widget)) {
                char text[TextField::kTextSize] = {};
                const int32_t length = field->getText(text, sizeof text);
                text[std::clamp(length, 0, static_cast<int32_t>(kNameLength))] = '\0';
                instrument->setProgramName(text);
                // a transparent field is redrawn over the background, not over its old text
                if (page) page->setDirty(true);
            }
        } else if (tag >= kFirstFileTag && tag < kFirstFileTag + panel::kFileButtonCount) {
            fileButton(tag, value);
        } else if (tag >= kFirstProgramTag && tag < kFirstProgramTag + kNumPrograms) {
            if (state & kAlt) instrument->storeProgram(tag - kFirstProgramTag);
            else instrument->setProgram(tag - kFirstProgramTag);
        }
        postUpdate();
    }
    instrument->panelControlChanged(tag, value);
    widget->update(canvas);
}

// A file button acts once, on the release over the button: the press arms it, leaving the
// button (which sends the released value) disarms it without acting.
void InstrumentEditor::fileButton(int tag, float value) {
    const int index = tag - kFirstFileTag;
    if (value != 0.0f) {
        fileButtonArmed[index] = true;
        return;
    }
    if (!fileButtonArmed[index]) return;
    fileButtonArmed[index] = false;
    Widget* button = controls[tag];
    if (!root || !button) return;
    Point where;
    root->getMouseLocation(where);
    if (!button->getSize().pointInside(where)) return;
    void* owner = root->findHostWindow();
    switch (index) {
    case 0:
        instrument->loadPatch(owner);
        break;
    case 1:
        instrument->savePatch(owner);
        break;
    case 2:
        instrument->loadBank(owner);
        break;
    default:
        instrument->saveBank(owner);
        break;
    }
}

} // namespace vl
