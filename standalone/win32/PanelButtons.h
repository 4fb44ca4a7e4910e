#pragma once
// The settings button and the record switch that the standalone program adds to the
// open panel at the places, tags and pictures of panel::kStandaloneButtons. They
// go into the panel's controls table, so that the instrument's setParameter (42, 0) can
// switch the record light off when a recording could not start. The pictures are held
// while the main window runs and released after the message loop.
namespace vl {

class Picture;
class StandaloneApp;

class PanelButtons {
public:
    PanelButtons() = default;
    ~PanelButtons(); // releases the pictures
    PanelButtons(const PanelButtons&) = delete;
    PanelButtons& operator=(const PanelButtons&) = delete;

    // Adds both buttons to the open panel. False when there is no open panel or a
    // picture or button could not be made.
    bool add(StandaloneApp& app);

private:
    Picture* settingsPicture = nullptr;
    Picture* recordPicture = nullptr;
};

} // namespace vl
