// The panel's own file dialog on Linux, the last of the file chooser's fallbacks.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "instrument/linux/PanelChooser.h"
#include "instrument/linux/PanelNotice.h"
#include "gui/x11/X11Dialog.h"

namespace vl::panelchooser {

namespace {

bool isRegularFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// OK in the own dialog: a file to load must exist, a file to save needs its folder.
std::string checkPath(const std::string& field, void* data) {
    const bool save = *static_cast<bool*>(data);
    if (field.empty()) return "Please type the path of a file.";
    struct stat info;
    if (stat(folderOf(field).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "The folder does not exist.";
    if (!save && !isRegularFile(field)) return "The file does not exist.";
    return {};
}

} // namespace

bool available() { return panelnotice::panelOpenOnThisThread(); }

Outcome ownDialog(const Choice& c, void* owner, std::string& path) {
    bool save = c.save;
    x11dialog::Request request;
    request.title = c.title.c_str();
    const std::string message = std::string(c.save ? "Save to file" : "Load file") + " (" + c.typeName + ", *." +
                                c.extension + "):";
    request.message = message.c_str();
    request.withField = true;
    char cwd[4096] = {};
    if (getcwd(cwd, sizeof cwd)) request.field = std::string(cwd) + "/";
    request.buttons[0] = "OK";
    request.buttons[1] = "Cancel";
    request.owner = reinterpret_cast<unsigned long>(owner);
    request.check = checkPath;
    request.checkData = &save;
    for (;;) {
        const int answer = x11dialog::run(request);
        if (answer == -2) return Outcome::unavailable;
        if (answer != 0) return Outcome::cancelled;
        path = request.field;
        if (!save || !isRegularFile(path)) return Outcome::chosen;
        // a save over an existing file is confirmed first
        x11dialog::Request confirm;
        confirm.title = c.title.c_str();
        const std::string question = path + " already exists. Replace it?";
        confirm.message = question.c_str();
        confirm.buttons[0] = "Replace";
        confirm.buttons[1] = "Cancel";
        confirm.owner = request.owner;
        const int replace = x11dialog::run(confirm);
        if (replace == 0) return Outcome::chosen;
        if (replace == -2) return Outcome::unavailable;
    }
}

} // namespace vl::panelchooser
