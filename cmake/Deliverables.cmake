# Lists the binaries this build produces and registers the checks on them.
#
# <build>/deliverables.txt holds one "name=path" line per deliverable that exists
# (plug-in, renderer, standalone program; the LV2 bundle by its folder);
# scripts/compare-renders.sh reads it.
# CTest tests labelled "binaries" run scripts/check-binaries.sh:
#   - Windows builds: every program and DLL imports system DLLs only, and the
#     plug-in DLL exports exactly "main";
#   - Linux build: the plug-in exports exactly VSTPluginMain and main; the renderer
#     needs no display library and renders without a display.

set(VL_CHECK_BINARIES ${CMAKE_CURRENT_LIST_DIR}/../scripts/check-binaries.sh)
get_filename_component(VL_CHECK_BINARIES ${VL_CHECK_BINARIES} ABSOLUTE)

# All executables and shared libraries that the default build produces, found by
# walking the directory tree (targets and folders excluded from "all" are skipped:
# they are not built, and GoogleTest's folder holds static libraries only).
function(vl_collect_binaries dir out)
  set(found "")
  get_property(dir_excluded DIRECTORY ${dir} PROPERTY EXCLUDE_FROM_ALL)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    get_target_property(excluded ${t} EXCLUDE_FROM_ALL)
    if(dir_excluded OR excluded)
      continue()
    endif()
    if(type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
      list(APPEND found ${t})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    vl_collect_binaries(${sub} sub_found)
    list(APPEND found ${sub_found})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

set(vl_manifest "")
foreach(t VELMORLOOM velmorloom-render VelmorLoomStandalone velmorloom-standalone velmorloom)
  if(TARGET ${t})
    string(APPEND vl_manifest "${t}=$<TARGET_FILE:${t}>\n")
  endif()
endforeach()
# The CLAP plug-in is listed under its file name.
if(TARGET velmorloom_clap)
  string(APPEND vl_manifest "velmorloom.clap=$<TARGET_FILE:velmorloom_clap>\n")
endif()
# The LV2 bundle is listed by its folder.
if(TARGET velmorloom_lv2)
  string(APPEND vl_manifest "velmorloom.lv2=${VL_LV2_BUNDLE}\n")
endif()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/deliverables.txt CONTENT "${vl_manifest}")

if(NOT VL_BUILD_TESTS)
  return()
endif()

find_program(VL_BASH bash REQUIRED)

if(WIN32)
  if(NOT CMAKE_OBJDUMP)
    message(FATAL_ERROR "The Windows build needs CMAKE_OBJDUMP (set by the toolchain file)")
  endif()
  vl_collect_binaries(${CMAKE_SOURCE_DIR} vl_binaries)
  set(vl_binary_files "")
  foreach(t IN LISTS vl_binaries)
    list(APPEND vl_binary_files "$<TARGET_FILE:${t}>")
  endforeach()
  if(vl_binary_files)
    add_test(NAME binaries_import_system_dlls_only
             COMMAND ${VL_BASH} ${VL_CHECK_BINARIES} pe-imports ${CMAKE_OBJDUMP} ${vl_binary_files})
    set_tests_properties(binaries_import_system_dlls_only PROPERTIES LABELS binaries)
  endif()
  if(TARGET velmorloom_clap)
    add_test(NAME binaries_clap_exports_clap_entry
             COMMAND ${VL_BASH} ${VL_CHECK_BINARIES} pe-exports-clap ${CMAKE_OBJDUMP} $<TARGET_FILE:velmorloom_clap>)
    set_tests_properties(binaries_clap_exports_clap_entry PROPERTIES LABELS binaries)
  endif()
  if(TARGET VELMORLOOM)
    add_test(NAME binaries_plugin_dll_exports_main
             COMMAND ${VL_BASH} ${VL_CHECK_BINARIES} pe-exports ${CMAKE_OBJDUMP} $<TARGET_FILE:VELMORLOOM>)
    set_tests_properties(binaries_plugin_dll_exports_main PROPERTIES LABELS binaries)
  endif()
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  if(TARGET VELMORLOOM)
    add_test(NAME binaries_plugin_so_exports_entry_points
             COMMAND ${VL_BASH} ${VL_CHECK_BINARIES} elf-exports $<TARGET_FILE:VELMORLOOM>)
    set_tests_properties(binaries_plugin_so_exports_entry_points PROPERTIES LABELS binaries)
  endif()
  if(TARGET velmorloom_clap)
    add_test(NAME binaries_clap_exports_clap_entry
             COMMAND ${VL_BASH} ${VL_CHECK_BINARIES} elf-exports-clap $<TARGET_FILE:velmorloom_clap>)
    set_tests_properties(binaries_clap_exports_clap_entry PROPERTIES LABELS binaries)
  endif()
  if(TARGET velmorloom-render)
    add_test(NAME binaries_renderer_needs_no_display
             COMMAND ${VL_BASH} ${VL_CHECK_BINARIES} elf-headless $<TARGET_FILE:velmorloom-render>
                     -q --tail=0 -o ${CMAKE_CURRENT_BINARY_DIR}/headless-render.wav)
    set_tests_properties(binaries_renderer_needs_no_display PROPERTIES LABELS "binaries;render")
  endif()
  # The checker is tried on small binaries built on the spot: a DLL importing a
  # run-time DLL, a DLL or .so exporting extra names must be rejected, clean ones
  # accepted. A checker that lets everything pass does not go unnoticed.
  add_test(NAME binaries_checker_selftest
           COMMAND ${VL_BASH} ${VL_CHECK_BINARIES} selftest)
  set_tests_properties(binaries_checker_selftest PROPERTIES LABELS binaries)
endif()

