// The instrument's panel for programs that show one (vl_instrument).
#include "instrument/PanelLink.h"

#include <new>

#include "instrument/ErrorReport.h"
#include "instrument/InstrumentEditor.h"

namespace vl::panellink {

bool create(Instrument& instrument, InstrumentEditor*& panel) {
    // Without all its pictures the panel is not ready: it is dropped (which lets go of
    // its frame registration) and the instance is refused.
    panel = new (std::nothrow) InstrumentEditor(&instrument);
    if (!panel) {
        showError(ErrorCode::outOfMemory);
    } else if (!panel->isReady()) {
        delete panel;
        panel = nullptr;
    }
    return panel != nullptr;
}

void destroy(InstrumentEditor* panel) { delete panel; }

void setParameter(InstrumentEditor* panel, VstInt32 tag, float value) { panel->setParameter(tag, value); }

void showProgram(InstrumentEditor* panel, const char* name) { panel->showProgram(name); }

} // namespace vl::panellink
