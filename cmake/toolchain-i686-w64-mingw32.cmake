# Cross build for 32-bit Windows (the shipped plug-in and standalone program).
# The -posix compiler variant provides std::thread and std::recursive_mutex.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# 32-bit Windows programs cannot execute on the build machines, so no emulator is
# set: the tests of this build are compiled but not run.
