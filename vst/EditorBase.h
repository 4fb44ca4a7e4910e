#pragma once
// The plain editor interface through which the effect frame passes on the host's editor
// requests. It knows nothing of widgets; the toolkit editor derives from it. The frame
// owns its editor and deletes it through the virtual destructor.

#include "vst/VstAbi.h"

namespace vl {

class EffectFrame;

class EditorBase {
public:
    // Stores the effect; no system window yet, no update pending. Registering with the
    // effect (EffectFrame::setEditor) is the deriving editor's business.
    explicit EditorBase(EffectFrame* effect);

    // If the effect still holds this editor, it lets go of it (and clears the has-editor
    // flag), so an editor destroyed by its owner never leaves a dangling pointer behind.
    virtual ~EditorBase();

    // effEditGetRect: stores a pointer to the editor's rectangle in *rect. Base: null, 0.
    virtual VstInt32 getRect(ERect** rect);
    // effEditOpen: window is the host's parent window. Base: remembers it, answers 0.
    virtual VstInt32 open(void* window);
    // effEditClose.
    virtual void close();
    // effEditIdle: runs update() once when an update was posted.
    virtual void idle();
    virtual void update();
    // Requests one update() on the next idle().
    virtual void postUpdate();
    // effEditKeyDown / effEditKeyUp: -1 means not handled.
    virtual VstInt32 onKeyDown(VstKeyCode& key);
    virtual VstInt32 onKeyUp(VstKeyCode& key);
    // effSetEditKnobMode.
    virtual VstInt32 setKnobMode(VstInt32 mode);
    virtual bool onWheel(float distance);

    EffectFrame* getEffect() const { return effect; }
    void* getSystemWindow() const { return systemWindow; }
    bool isUpdatePending() const { return updateFlag != 0; }

protected:
    EffectFrame* effect; // not owned
    void* systemWindow; // not owned; null before open
    VstInt32 updateFlag; // 1 = update pending
};

} // namespace vl
