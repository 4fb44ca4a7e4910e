#pragma once
// What both standalone programs add to, and read from, the instrument's panel.
//
// The settings button and the record switch stand right of the file buttons, at the
// places, tags and pictures of panel::kStandaloneButtons. They go into the panel's controls table, so that the
// instrument's setParameter (42, 0) can switch the record light off when a recording
// could not start. The pictures are held while the main window runs and released after
// its loop.
namespace vl {

class EditorBase;
class Picture;
class StandaloneApp;

class PanelButtons {
public:
    PanelButtons() = default;
    ~PanelButtons(); // releases the pictures
    PanelButtons(const PanelButtons&) = delete;
    PanelButtons& operator=(const PanelButtons&) = delete;

    // Adds both buttons to the open panel; the record switch is lit when a recording
    // runs already. False when there is no open panel or a picture or button could not
    // be made.
    bool add(StandaloneApp& app);

private:
    Picture* settingsPicture = nullptr;
    Picture* recordPicture = nullptr;
};

// The main window's client rectangle: the panel's when there is a panel that tells it,
// else (10, 10) to (100, 100).
struct WindowPlace {
    int left = 10;
    int top = 10;
    int right = 100;
    int bottom = 100;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};
WindowPlace mainWindowPlace(EditorBase* panel);

} // namespace vl
