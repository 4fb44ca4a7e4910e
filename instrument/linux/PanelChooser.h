#pragma once
// What the Linux file chooser fallback asks of the panel. Defined by the panel
// (linux/PathDialog.cpp, in vl_instrument) and by linux/NoPanelChooser.cpp
// (vl_instrument_core, where no chooser is ever shown).

#include <string>

namespace vl::panelchooser {

enum class Outcome { chosen, cancelled, unavailable };

struct Choice {
    bool save;
    std::string title;
    std::string typeName; // "FX Patches"
    std::string extension; // "fxp"
};

// Whether a chooser may be shown: a panel is open and was opened on the calling thread.
bool available();

// The panel's own small dialog (a path field with OK and Cancel; a save over an existing
// file is confirmed), owned by the X window owner.
Outcome ownDialog(const Choice& choice, void* owner, std::string& path);

} // namespace vl::panelchooser
