#include "standalone/PanelButtons.h"

#include <new>

#include "standalone/StandaloneApp.h"
#include "vst/EditorBase.h"
#ifdef VL_WITH_PANEL
#include "gui/Controls.h"
#include "gui/Picture.h"
#include "instrument/InstrumentEditor.h"
#endif

namespace vl {

#ifdef VL_WITH_PANEL
namespace {
constexpr int kButtonLeft = 618;
constexpr int kButtonTop = 268;
constexpr int kButtonSpacing = 50;
} // namespace

bool PanelButtons::add(StandaloneApp& app) {
    InstrumentEditor* panel = app.getPanel();
    if (!panel || !panel->isOpen() || settingsPicture) return false;
    settingsPicture = new (std::nothrow) Picture(kSettingsButtonPicture);
    recordPicture = new (std::nothrow) Picture(kRecordButtonPicture);
    if (!settingsPicture || !recordPicture || !settingsPicture->getHandle() || !recordPicture->getHandle()) return false;

    // Two images of half the picture's height each: released above, pressed below.
    const int imageHeight = settingsPicture->height / 2;
    Rect place{kButtonLeft, kButtonTop, kButtonLeft + settingsPicture->width, kButtonTop + imageHeight};
    auto* settingsButton = new (std::nothrow)
        MomentaryButton(place, panel, StandaloneApp::kSettingsButtonTag, imageHeight, settingsPicture, Point{0, 0});
    if (!panel->addControl(settingsButton, StandaloneApp::kSettingsButtonTag)) return false;

    place = place.offset(kButtonSpacing, 0);
    auto* recordSwitch = new (std::nothrow) ToggleButton(place, panel, StandaloneApp::kRecordButtonTag, recordPicture);
    if (!panel->addControl(recordSwitch, StandaloneApp::kRecordButtonTag)) return false;
    recordSwitch->setValue(app.recording() ? 1.0f : 0.0f);
    // A recording started before the panel opened (the command line) shows as a lit
    // switch also where the panel has been drawn already.
    if (app.recording()) panel->setParameter(StandaloneApp::kRecordButtonTag, 1.0f);
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
