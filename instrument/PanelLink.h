#pragma once
// The editor panel as the instrument's core sees it. These functions are defined twice:
// by the panel (PanelLink.cpp, in vl_instrument) and by NoPanel.cpp (vl_instrument_core,
// which needs no display library). A program links one of the two libraries: the plug-in
// and the standalone programs show a panel, the renderer does not.

#include "vst/VstAbi.h"

namespace vl {

class Instrument;
class InstrumentEditor;

namespace panellink {

// Builds the panel of instrument, which registers itself as the frame's editor, and
// answers whether the instance is usable: false when the panel could not be made (the
// failure has been shown through showError; panel stays null). Without a panel in the
// program, panel stays null and the instance is usable.
bool create(Instrument& instrument, InstrumentEditor*& panel);
void destroy(InstrumentEditor* panel);
// Both from any thread; panel is not null.
void setParameter(InstrumentEditor* panel, VstInt32 tag, float value);
void showProgram(InstrumentEditor* panel, const char* name);

} // namespace panellink

} // namespace vl
