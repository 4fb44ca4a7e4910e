# Where `cmake --install` puts each deliverable, under CMAKE_INSTALL_PREFIX:
#   lib/vst/velmorloom.so             the Linux VST 2 plug-in
#   lib/lv2/velmorloom.lv2/           the LV2 bundle (when built)
#   lib/clap/velmorloom.clap          the CLAP plug-in (when built)
#   bin/velmorloom, bin/velmorloom-render
#   share/applications/velmorloom.desktop
#   share/icons/hicolor/{48x48,128x128,scalable}/apps/velmorloom.{png,svg}
#   share/man/man1/velmorloom.1, velmorloom-render.1 (written from their --help)
#   share/velmorloom/factory.fxb      the eight factory programs as a bank file
#   share/doc/velmorloom/             the user's guide with its pictures
# The plug-in folders are the ones hosts search by default (under /usr or /usr/local);
# they are not the multiarch library folder, which hosts do not search.
# Windows builds install their binaries into bin/ only (scripts/package.sh makes the zip).
# Binaries are installed as built; `cmake --install --strip` strips them.

set(VL_DOC_DIR share/doc/velmorloom)

# Target vl_installables builds everything installed (scripts/package.sh builds only it).
add_custom_target(vl_installables)
function(vl_install_binary target destination)
  if(NOT TARGET ${target})
    return()
  endif()
  if(WIN32)
    # the DLL or program alone, without the import library
    install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${destination})
  else()
    install(TARGETS ${target} RUNTIME DESTINATION ${destination} LIBRARY DESTINATION ${destination})
  endif()
  add_dependencies(vl_installables ${target})
endfunction()

if(WIN32)
  foreach(target VELMORLOOM VelmorLoomStandalone velmorloom-render velmorloom_clap)
    vl_install_binary(${target} bin)
  endforeach()
  return()
endif()

vl_install_binary(VELMORLOOM lib/vst)
vl_install_binary(velmorloom bin)
vl_install_binary(velmorloom-render bin)
vl_install_binary(velmorloom_clap lib/clap)
if(TARGET velmorloom_lv2)
  # The bundle folder as the build lays it out (<build>/lv2/velmorloom.lv2): the module
  # and its Turtle files.
  install(DIRECTORY ${CMAKE_BINARY_DIR}/lv2/velmorloom.lv2/ DESTINATION lib/lv2/velmorloom.lv2
          USE_SOURCE_PERMISSIONS)
  add_dependencies(vl_installables velmorloom_lv2)
endif()

# What follows runs programs of this build at build time: native builds only, and not
# the sanitizer builds (their programs are for the tests, not for installing).
if(WIN32 OR CMAKE_CROSSCOMPILING OR VL_SANITIZE)
  return()
endif()

# The factory bank, written by the instrument itself.
if(TARGET vl_instrument)
  add_executable(vl-factory-bank ${CMAKE_SOURCE_DIR}/tools/FactoryBank.cpp)
  target_link_libraries(vl-factory-bank PRIVATE vl_instrument)
  target_include_directories(vl-factory-bank PRIVATE ${CMAKE_SOURCE_DIR})
  set(VL_FACTORY_BANK ${CMAKE_BINARY_DIR}/share/factory.fxb)
  add_custom_command(OUTPUT ${VL_FACTORY_BANK}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share
    COMMAND vl-factory-bank ${VL_FACTORY_BANK}
    DEPENDS vl-factory-bank
    COMMENT "Writing the factory bank"
    VERBATIM)
  add_custom_target(vl_factory_bank ALL DEPENDS ${VL_FACTORY_BANK})
  add_dependencies(vl_installables vl_factory_bank)
  install(FILES ${VL_FACTORY_BANK} DESTINATION share/velmorloom)
endif()

# Manual pages, written from each program's --help at build time.
set(vl_man_pages "")
foreach(entry "velmorloom;velmorloom-render" "velmorloom-render;velmorloom")
  list(GET entry 0 program)
  list(GET entry 1 other)
  if(NOT TARGET ${program})
    continue()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
            -DVERSION=${PROJECT_VERSION} "-DSEE_ALSO=${other}(1)"
            -DGUIDE=${VL_DOC_DIR}/guide.md -DOUT=${page}
            -P ${CMAKE_SOURCE_DIR}/cmake/HelpToMan.cmake
    DEPENDS ${program} ${CMAKE_SOURCE_DIR}/cmake/HelpToMan.cmake
    COMMENT "Writing the manual page ${program}.1 from ${program} --help"
    VERBATIM)
  list(APPEND vl_man_pages ${page})
endforeach()
if(vl_man_pages)
  add_custom_target(vl_man_pages ALL DEPENDS ${vl_man_pages})
  add_dependencies(vl_installables vl_man_pages)
  install(FILES ${vl_man_pages} DESTINATION share/man/man1)
endif()

# Desktop entry and icons.
if(TARGET velmorloom)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/velmorloom.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/velmorloom-48.png
          DESTINATION share/icons/hicolor/48x48/apps RENAME velmorloom.png)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/velmorloom-128.png
          DESTINATION share/icons/hicolor/128x128/apps RENAME velmorloom.png)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/velmorloom.svg
          DESTINATION share/icons/hicolor/scalable/apps)
endif()

# The user's guide and the pictures it shows.
install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.md DESTINATION ${VL_DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION ${VL_DOC_DIR})
