// The file chooser used when the host offers no file selector: zenity or kdialog when one
// of them is installed, else the panel's own small dialog (a path field with OK and
// Cancel). Only the open panel's file buttons get a chooser (on the panel's thread);
// anywhere else, and without a display, nothing is chosen, as with a cancelled dialog.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "instrument/ErrorReport.h"
#include "instrument/PatchFiles.h"
#include "instrument/linux/PanelChooser.h"

extern char** environ;

namespace vl {

namespace {

using panelchooser::Choice;
using panelchooser::Outcome;

// The full path of an executable found on PATH, or empty.
std::string findProgram(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string dirs = path;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        // an empty entry is the current folder
        const std::string candidate = (end > start ? dirs.substr(start, end - start) : std::string(".")) + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// Runs a chooser program and reads what it prints. Its exit status, or -1 when it could
// not be started.
int runProgram(const std::vector<std::string>& args, std::string& output) {
    output.clear();
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        return -1;
    }
    char buffer[512];
    for (;;) {
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n > 0) {
            if (output.size() < 65536) output.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first line of a chooser's answer.
std::string firstLine(const std::string& s) {
    const std::size_t end = s.find_first_of("\r\n");
    return end == std::string::npos ? s : s.substr(0, end);
}

Outcome fromChooser(int status, const std::string& output, std::string& path) {
    if (status == 0) {
        path = firstLine(output);
        return path.empty() ? Outcome::cancelled : Outcome::chosen;
    }
    return status == 1 ? Outcome::cancelled : Outcome::unavailable;
}

[[maybe_unused]] Outcome zenity(const Choice& c, std::string& path) {
    const std::string program = findProgram("zenity");
    if (program.empty()) return Outcome::unavailable;
    std::vector<std::string> args = {program, "--file-selection", "--title=" + c.title,
                                     "--file-filter=" + c.typeName + " (*." + c.extension + ") | *." + c.extension};
    if (c.save) {
        args.push_back("--save");
        args.push_back("--confirm-overwrite");
    }
    std::string output;
    return fromChooser(runProgram(args, output), output, path);
}

[[maybe_unused]] Outcome kdialog(const Choice& c, std::string& path) {
    const std::string program = findProgram("kdialog");
    if (program.empty()) return Outcome::unavailable;
    char cwd[4096] = ".";
    if (!getcwd(cwd, sizeof cwd)) std::strcpy(cwd, ".");
    const std::vector<std::string> args = {program, "--title",
                                           c.title, c.save ? "--getsavefilename" : "--getopenfilename",
                                           cwd,     "*." + c.extension + "|" + c.typeName};
    std::string output;
    return fromChooser(runProgram(args, output), output, path);
}

std::string fieldText(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

} // namespace

bool chooseFileFallback(VstFileSelect* selection, void* ownerWindow) {
    if (!prepareReturnPath(selection)) return false;

    Choice choice;
    choice.save = selection->command == kVstFileSave;
    choice.title = fieldText(selection->title, sizeof selection->title);
    if (selection->nbFileTypes > 0 && selection->fileTypes != nullptr) {
        choice.typeName = fieldText(selection->fileTypes[0].name, sizeof selection->fileTypes[0].name);
        choice.extension = fieldText(selection->fileTypes[0].dosType, sizeof selection->fileTypes[0].dosType);
    }
    std::string path;
    Outcome outcome = Outcome::unavailable;
    if (!panelchooser::available()) return false;
    try {
        outcome = zenity(choice, path);
        if (outcome == Outcome::unavailable) outcome = kdialog(choice, path);
        if (outcome == Outcome::unavailable) outcome = panelchooser::ownDialog(choice, ownerWindow, path);
    } catch (...) {
        outcome = Outcome::unavailable;
    }
    if (outcome != Outcome::chosen || path.empty()) return false;
    // a saved file gets the type's extension when its name has none
    if (choice.save && !choice.extension.empty()) {
        const std::size_t slash = path.rfind('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (name.find('.') == std::string::npos) path += "." + choice.extension;
    }
    const std::size_t limit = static_cast<std::size_t>(selection->sizeReturnPath) - 1;
    if (path.size() > limit) return false; // a cut path would name another file
    std::memcpy(selection->returnPath, path.c_str(), path.size() + 1);
    return true;
}

} // namespace vl
