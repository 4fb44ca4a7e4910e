// The system's open and save dialogs, used when the host offers no file selector.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>
#include <commdlg.h>

#include "instrument/ErrorReport.h"
#include "instrument/PatchFiles.h"

namespace vl {

bool chooseFileFallback(VstFileSelect* selection, void* ownerWindow) {
    if (!prepareReturnPath(selection)) return false;

    const char* typeName = "";
    const char* extension = "";
    if (selection->nbFileTypes > 0 && selection->fileTypes != nullptr) {
        typeName = selection->fileTypes[0].name;
        extension = selection->fileTypes[0].dosType;
    }
    // "FX Patches (*.fxp)", NUL, "*.fxp", NUL, NUL
    char filter[sizeof(VstFileType::name) + 2 * sizeof(VstFileType::dosType) + 16] = {};
    std::snprintf(filter, sizeof filter - 1, "%.*s (*.%.*s)%c*.%.*s%c", static_cast<int>(sizeof(VstFileType::name)),
                  typeName, static_cast<int>(sizeof(VstFileType::dosType)), extension, '\0',
                  static_cast<int>(sizeof(VstFileType::dosType)), extension, '\0');
    char title[sizeof(VstFileSelect::title)] = {};
    std::memcpy(title, selection->title, sizeof title - 1);
    char defaultExtension[sizeof(VstFileType::dosType) + 1] = {};
    std::memcpy(defaultExtension, extension, strnlen(extension, sizeof(VstFileType::dosType)));

    char chosen[MAX_PATH * 4] = {};
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = static_cast<HWND>(ownerWindow);
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = sizeof chosen;
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = defaultExtension;
    dialog.lpstrInitialDir = nullptr;
    dialog.Flags = OFN_HIDEREADONLY | OFN_LONGNAMES;
    BOOL ok;
    if (selection->command == kVstFileSave) {
        dialog.Flags |= OFN_OVERWRITEPROMPT;
        ok = GetSaveFileNameA(&dialog);
    } else {
        dialog.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        ok = GetOpenFileNameA(&dialog);
    }
    if (!ok) return false;
    const std::size_t length = std::strlen(chosen);
    // A path that does not fit the return path would name another file: choose nothing.
    if (length == 0 || length >= static_cast<std::size_t>(selection->sizeReturnPath)) return false;
    std::memcpy(selection->returnPath, chosen, length + 1);
    return true;
}

} // namespace vl
