#pragma once
// The editor that a host opens, idles and closes, with the widget tree's root, the editor
// rectangle, the process-wide knob mode and the idle pacing of mouse drags. The concrete
// panel derives from it, builds its widgets in its own open and tears them down in close.

#include "gui/Types.h"
#include "vst/EditorBase.h"

namespace vl {

class RootView;

class ToolkitEditor : public EditorBase {
public:
    // Registers itself as the effect's editor (setEditor) and prepares the thread
    // (attachUiThread). The last idle time is now.
    explicit ToolkitEditor(EffectFrame* effect);
    // Undoes the thread preparation when it succeeded.
    ~ToolkitEditor() override;

    // ---- Virtual operations, in slot order ----
    VstInt32 getRect(ERect** rect) override; // address of rect, 1
    VstInt32 open(void* window) override; // postUpdate, stores the window, 0
    void close() override;
    // Nothing while a host idle made from idleDuringDrag runs; the pending update; the
    // root's idle (events, then redraw of dirty widgets).
    void idle() override;
    void update() override;
    // A key the host forwarded: 1 when the open text editor used it, else -1.
    VstInt32 onKeyDown(VstKeyCode& key) override;
    VstInt32 onKeyUp(VstKeyCode& key) override;
    // Stores the process-wide knob mode; 1.
    VstInt32 setKnobMode(VstInt32 mode) override;
    // The root's wheel handling (widget under the mouse); false without a root.
    bool onWheel(float distance) override;
    virtual void setParameter(VstInt32 index, float value); // postUpdate
    virtual void draw(ERect* rect); // redraws the whole root
    // Called once per pass of a control's mouse-tracking loop: redraws dirty widgets every
    // pass, sleeps 4 ms while less than 100 ms passed since the last full pass, and every 50
    // to 100 ms lets one pending paint through and gives the host its idle call.
    virtual void idleDuringDrag();

    // ---- Non-virtual ----
    RootView* getRoot() const { return root; }
    const ERect& getEditorRect() const { return rect; }
    bool isInIdle() const { return inIdle; }
    uint32_t getLastIdleTime() const { return lastIdleTime; }

protected:
    ERect rect{}; // filled in by the concrete editor with the panel size
    RootView* root = nullptr; // owned by the concrete editor; null while closed
    uint32_t lastIdleTime;
    bool inIdle = false;

private:
    void* threadToken; // from attachUiThread; null when it failed
};

} // namespace vl
