#include "standalone/win32/PanelButtons.h"

#include "standalone/win32/WindowsShell.h"

namespace vl {

// The panel of this build has no controls table to take the buttons yet.
bool PanelButtons::add(StandaloneApp&) { return false; }

PanelButtons::~PanelButtons() = default;

} // namespace vl
