# Cross build for 64-bit Windows: the same sources as the 32-bit product, built so
# that their tests can run on Linux under the 64-bit wine loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# ctest runs every test executable through the 64-bit wine loader. It is called
# directly: the distribution keeps it off PATH, and the "wine" wrapper would pick
# the 32-bit loader when that is installed.
set(VL_WINE64 /usr/lib/wine/wine64 CACHE FILEPATH "64-bit wine loader")
set(CMAKE_CROSSCOMPILING_EMULATOR ${VL_WINE64})
