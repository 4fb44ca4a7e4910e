// Load hook of the plug-in library: remembers the module instance through which the
// panel's bitmaps are loaded.

#include <windows.h>

#include "vst/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    vl::moduleInstance = instance;
    return TRUE;
}
