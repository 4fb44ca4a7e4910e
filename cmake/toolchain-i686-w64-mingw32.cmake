# Cross build for 32-bit Windows (the shipped plug-in and standalone program).
# The -posix compiler variant provides std::thread and std::recursive_mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VL_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${VL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${VL_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP      ${VL_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump for PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${VL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 32-bit Windows programs cannot execute on the build machines, so no emulator is
# set: the tests of this build are compiled but not run.
