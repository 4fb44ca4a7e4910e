#include "standalone/win32/PanelButtons.h"

#include <new>

#include "gui/Controls.h"
#include "gui/Picture.h"
#include "instrument/InstrumentEditor.h"
#include "standalone/StandaloneApp.h"

namespace vl {

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
    return true;
}

PanelButtons::~PanelButtons() {
    if (settingsPicture) settingsPicture->release();
    if (recordPicture) recordPicture->release();
}

} // namespace vl
