# 32-bit x86 Linux build of the core (engine, instrument without its panel, VST 2 frame,
# renderer) with the multilib compiler, run under qemu-i386: the machines here cannot
# execute 32-bit programs natively, and this is what exercises the 32-bit arithmetic,
# pointer sizes and record layouts of the shipped Windows binaries.
# The top-level CMakeLists adds -msse2 -mfpmath=sse for every 32-bit x86 target.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-m32")
endforeach()

# pkg-config finds 32-bit packages only (none are installed: the programs that need
# JACK, ALSA or X11 are left out of this build rather than linked against 64-bit ones).
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/lib32/pkgconfig")

# ctest runs every test program through the emulator (the multilib run-time libraries
# and loader are found at their usual places).
find_program(VL_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VL_QEMU_I386})
