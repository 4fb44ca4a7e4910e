// The instrument without a panel (vl_instrument_core: the renderer, builds without a
// window system). The instance is ready as soon as its engine is.
#include "instrument/PanelLink.h"

namespace vl::panellink {

bool create(Instrument&, InstrumentEditor*& panel) {
    panel = nullptr;
    return true;
}

void destroy(InstrumentEditor*) {}
void setParameter(InstrumentEditor*, VstInt32, float) {}
void showProgram(InstrumentEditor*, const char*) {}

} // namespace vl::panellink
