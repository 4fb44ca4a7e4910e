#pragma once
// The settings button (tag 41, picture 149) and the record switch (tag 42, picture 150)
// that the standalone program adds to the panel. They hold their pictures while the
// main window runs and release them after the message loop.
namespace vl {

class StandaloneApp;

class PanelButtons {
public:
    PanelButtons() = default;
    ~PanelButtons(); // releases the pictures
    PanelButtons(const PanelButtons&) = delete;
    PanelButtons& operator=(const PanelButtons&) = delete;

    // Adds both buttons to the open panel. False when the panel cannot take them.
    bool add(StandaloneApp& app);

private:
    void* settingsPicture = nullptr;
    void* recordPicture = nullptr;
};

} // namespace vl
