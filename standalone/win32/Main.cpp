// Program entry of VelmorLoomStandalone.
#include <windows.h>

#include "standalone/win32/WindowsShell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        return vl::runStandaloneProgram(instance);
    } catch (...) {
        return 1;
    }
}
