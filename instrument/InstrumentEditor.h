#pragma once
// The instrument's panel: 727 x 301 pixels of bitmap knobs with three-digit displays, the
// program-name field, eight program buttons and four file buttons.
//
// Threads: the host opens, idles and closes the panel on its user-interface thread, and
// every widget is touched on that thread only. setParameter and showProgram are also
// reached from the audio thread (automation, MIDI controllers, program changes); from any
// other thread they only leave the new values in the panel's value and text stores, under
// the panel lock, and the next idle hands them to the widgets. The panel lock guards the
// controls table and the stores and is never held while calling out of the editor. The
// voice count is read under the instrument's engine lock before the panel lock is taken.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "gui/Controls.h"
#include "gui/ToolkitEditor.h"
#include "resources/PanelLayout.h"

namespace vl {

class GroupView;
class Instrument;
class Picture;
class ValueWidget;

class InstrumentEditor : public ToolkitEditor, public ValueListener {
public:
    static constexpr int kPictureCount = panel::kSlotCount;
    static constexpr int kControlCount = panel::kControlCount;
    static constexpr int kNameTag = panel::kNameTag;
    static constexpr int kFirstFileTag = panel::kFirstFileTag;
    static constexpr int kFirstProgramTag = panel::kFirstProgramTag;
    static constexpr int kDisplayTagOffset = panel::kDisplayTagOffset;
    static constexpr int kNameLength = 24; // characters the name field stores

    // Takes the 16 shared pictures (loading those no other editor holds) and registers
    // with the instrument's frame. Not ready when a picture or an allocation failed; the
    // failure has been shown through showError.
    explicit InstrumentEditor(Instrument* instrument);
    // Closes if open; gives back only the pictures this editor took.
    ~InstrumentEditor() override;

    bool isReady() const { return ready; }

    // ---- Editor operations ----
    VstInt32 open(void* window) override; // 1 on success, 0 on failure
    void close() override; // destroys the widgets, empties the controls table
    void idle() override; // stored values to the widgets, then the toolkit's idle
    void update() override {}
    void postUpdate() override; // any thread
    bool onWheel(float distance) override; // true: the wheel moves nothing on this panel
    // tag 0..43; any thread. Moves the control and, for a parameter, its display.
    void setParameter(VstInt32 tag, float value) override;

    // The program name (any thread): the name field shows it and exactly the current
    // program's button is lit.
    void showProgram(const char* name);

    void valueChanged(Canvas& canvas, Widget* control) override;

    // ---- For the standalone program and tests (user-interface thread) ----
    bool isOpen();
    // The page holding the panel's widgets; null while closed.
    GroupView* getPage() const { return page; }
    // The widget of a tag (0..43), null when there is none.
    Widget* getControl(int tag);
    // Adds a control to the page and enters it in the controls table under its tag
    // (0..43); the page takes the caller's reference. False when closed or tag is out of
    // range (the widget is then released).
    bool addControl(ValueWidget* control, int tag);

    // Process-wide state, for tests.
    static int32_t editorCount();
    static Picture* sharedPicture(int slot);
    static int32_t sharedPictureId(int slot);
    // Names another resource id for a slot (tests: a missing bitmap); answers the old one.
    // Takes effect when the slot is next loaded.
    static int32_t replacePictureId(int slot, int32_t id);

private:
    bool takePictures();
    void releasePictures();
    // Adds a widget built by open (null: allocation failed) and applies the parameter's
    // range and value for knobs. False on failure (already reported).
    bool addWidget(ValueWidget* widget, int tag);
    // The knob and its number display at place. False on failure (already reported).
    bool addKnob(const panel::KnobPlace& place);
    // Applies one value to the widgets of tag (user-interface thread, no lock held).
    void applyValue(int tag, float value, int voices);
    // Takes what other threads stored and applies it (user-interface thread).
    void applyStored();
    void fileButton(int tag, float value);

    Instrument* instrument; // not owned
    bool ready = false;
    Picture* held[kPictureCount] = {}; // the shared pictures this editor holds a reference to
    GroupView* page = nullptr; // owned by the root while open
    bool fileButtonArmed[panel::kFileButtonCount] = {};
    bool noticeWindows = false; // this open panel counts for notice windows

    // Guarded by panelLock.
    std::mutex panelLock;
    bool panelOpen = false;
    std::thread::id uiThread;
    Widget* controls[kControlCount] = {};
    float storedValue[kControlCount] = {};
    bool valueStored[kControlCount] = {};
    int32_t storedVoices = 0;
    char storedName[TextField::kTextSize] = {};
    bool nameStored = false;

    std::atomic<bool> updatePosted{false};
};

} // namespace vl
