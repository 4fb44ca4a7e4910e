#include "standalone/PanelButtons.h"

#include <new>

#include "standalone/StandaloneApp.h"
#include "vst/EditorBase.h"
#ifdef VL_WITH_PANEL
#include "gui/Controls.h"
#include "gui/Picture.h"
#include "instrument/InstrumentEditor.h"
#include "resources/PanelLayout.h"
#endif

namespace vl {

#ifdef VL_WITH_PANEL
bool PanelButtons::add(StandaloneApp& app) {
    InstrumentEditor* panel = app.getPanel();
    if (!panel || !panel->isOpen() || settingsPicture) return false;
    const panel::ButtonPlace& settings = panel::kStandaloneButtons[0];
    const panel::ButtonPlace& record = panel::kStandaloneButtons[1];
    settingsPicture = new (std::nothrow) Picture(settings.picture);
    recordPicture = new (std::nothrow) Picture(record.picture);
    if (!settingsPicture || !recordPicture || !settingsPicture->getHandle() || !recordPicture->getHandle())
        return false;

    // Two images of half the picture's height each: released above, pressed below.
    const int imageHeight = settingsPicture->height / 2;
    const Rect place{settings.left, settings.top, settings.left + settingsPicture->width, settings.top + imageHeight};
    auto* settingsButton = new (std::nothrow)
        MomentaryButton(place, panel, settings.tag, imageHeight, settingsPicture, Point{0, 0});
    if (!panel->addControl(settingsButton, settings.tag)) return false;

    // the switch has the button's size
    const Rect switchPlace = place.offset(record.left - settings.left, record.top - settings.top);
    auto* recordSwitch = new (std::nothrow) ToggleButton(switchPlace, panel, record.tag, recordPicture);
    if (!panel->addControl(recordSwitch, record.tag)) return false;
    recordSwitch->setValue(app.recording() ? 1.0f : 0.0f);
    // A recording started before the panel opened (the command line) shows as a lit
    // switch also where the panel has been drawn already.
    if (app.recording()) panel->setParameter(record.tag, 1.0f);
    return true;
}

PanelButtons::~PanelButtons() {
    if (settingsPicture) settingsPicture->release();
    if (recordPicture) recordPicture->release();
}
#else
bool PanelButtons::add(StandaloneApp&) { return false; }
PanelButtons::~PanelButtons() = default;
#endif

WindowPlace mainWindowPlace(EditorBase* panel) {
    WindowPlace place;
    ERect* rect = nullptr;
    if (panel && panel->getRect(&rect) && rect) {
        place.left = rect->left;
        place.top = rect->top;
        place.right = rect->right;
        place.bottom = rect->bottom;
    }
    return place;
}

} // namespace vl
