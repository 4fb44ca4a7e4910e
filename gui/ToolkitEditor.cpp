#include "gui/ToolkitEditor.h"

#include "gui/Controls.h"
#include "gui/Platform.h"
#include "gui/RootView.h"
#include "vst/EffectFrame.h"

namespace vl {

ToolkitEditor::ToolkitEditor(EffectFrame* effect) : EditorBase(effect), lastIdleTime(tickCount()) {
    if (effect) effect->setEditor(this);
    threadToken = attachUiThread();
}

ToolkitEditor::~ToolkitEditor() {
    detachUiThread(threadToken);
    threadToken = nullptr;
}

VstInt32 ToolkitEditor::getRect(ERect** out) {
    if (out) *out = &rect;
    return 1;
}

VstInt32 ToolkitEditor::open(void* window) {
    postUpdate();
    systemWindow = window;
    return 0;
}

void ToolkitEditor::close() {}

void ToolkitEditor::idle() {
    if (inIdle) return;
    if (updateFlag) {
        updateFlag = 0;
        update();
    }
    if (root) root->idle();
}

void ToolkitEditor::update() {}

VstInt32 ToolkitEditor::onKeyDown(VstKeyCode& key) {
    if (root && root->getView() && root->getView()->forwardKey(key, true)) return 1;
    return -1;
}

VstInt32 ToolkitEditor::onKeyUp(VstKeyCode& key) {
    if (root && root->getView() && root->getView()->forwardKey(key, false)) return 1;
    return -1;
}

VstInt32 ToolkitEditor::setKnobMode(VstInt32 mode) {
    setGlobalKnobMode(mode);
    return 1;
}

bool ToolkitEditor::onWheel(float distance) {
    if (!root) return false;
    Point where;
    return root->onWheel(static_cast<Canvas*>(nullptr), where, distance);
}

void ToolkitEditor::setParameter(VstInt32, float) { postUpdate(); }

void ToolkitEditor::draw(ERect*) {
    if (root) root->redraw(nullptr);
}

void ToolkitEditor::idleDuringDrag() {
    uint32_t now = tickCount();
    idle();
    if (now < lastIdleTime + 100u) {
        sleepMilliseconds(4);
        now += 4;
        if (now < lastIdleTime + 50u) return;
    }
    if (root && root->getView()) root->getView()->dispatchPendingPaint();
    lastIdleTime = now;
    inIdle = true;
    if (effect) effect->masterIdle();
    inIdle = false;
}

} // namespace vl
