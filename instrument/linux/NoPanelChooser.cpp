// Without a panel no file chooser is shown: as with a cancelled dialog, nothing is chosen.
#include "instrument/linux/PanelChooser.h"

namespace vl::panelchooser {

bool available() { return false; }

Outcome ownDialog(const Choice&, void*, std::string&) { return Outcome::unavailable; }

} // namespace vl::panelchooser
