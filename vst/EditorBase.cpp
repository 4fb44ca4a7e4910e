#include "vst/EditorBase.h"

#include "vst/EffectFrame.h"

namespace vl {

EditorBase::EditorBase(EffectFrame* effect) : effect(effect), systemWindow(nullptr), updateFlag(0) {}

EditorBase::~EditorBase() {
    if (effect) effect->forgetEditor(this);
}

VstInt32 EditorBase::getRect(ERect** rect) {
    if (rect) *rect = nullptr;
    return 0;
}

VstInt32 EditorBase::open(void* window) {
    systemWindow = window;
    return 0;
}

void EditorBase::close() {}

void EditorBase::idle() {
    if (updateFlag) {
        updateFlag = 0;
        update();
    }
}

void EditorBase::update() {}

void EditorBase::postUpdate() { updateFlag = 1; }

VstInt32 EditorBase::onKeyDown(VstKeyCode&) { return -1; }

VstInt32 EditorBase::onKeyUp(VstKeyCode&) { return -1; }

VstInt32 EditorBase::setKnobMode(VstInt32) { return 0; }

bool EditorBase::onWheel(float) { return false; }

} // namespace vl
