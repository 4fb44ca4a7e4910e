# Runs the Ardour session script on a fresh session folder, with Ardour's caches and
# settings kept inside the build tree.
#
# Three ways to present the plug-in to Ardour:
#   PLUGIN_DIR, PLUGIN_NAME   a copy of the built library in a folder named by
#                             LXVST_PATH and VST_PATH;
#   INSTALLED_PLUGIN=<path>   the plug-in installed on the system in a folder Ardour
#                             searches by default (/usr/lib/vst from the Debian
#                             package, scripts/check-package.sh), no path variable set;
#   INSTALL_FROM=<build dir>  the build installed (cmake --install) into a prefix that
#                             is mounted over /usr/local in a mount namespace of the
#                             test's own (unshare), so that Ardour finds the plug-in in
#                             /usr/local/lib/vst, one of the folders it searches by
#                             default, with no path variable set. Nothing on the machine
#                             changes. Where no namespace can be made (unshare refused,
#                             as in some containers) the test is skipped.
include("${CMAKE_CURRENT_LIST_DIR}/../support/ArdourSession.cmake")
vl_ardour_home()
unset(ENV{LXVST_PATH})
unset(ENV{VST_PATH})
set(run "")
set(dated "")
if(INSTALLED_PLUGIN)
  set(plugin "${INSTALLED_PLUGIN}")
elseif(INSTALL_FROM)
  set(prefix "${WORK_DIR}/usr-local")
  execute_process(COMMAND ${CMAKE_COMMAND} --install "${INSTALL_FROM}" --prefix "${prefix}"
    RESULT_VARIABLE install_result OUTPUT_QUIET)
  if(NOT install_result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${install_result})")
  endif()
  set(plugin "/usr/local/lib/vst/${PLUGIN_NAME}")
  set(dated "${prefix}/lib/vst/${PLUGIN_NAME}")
  set(run unshare --mount --map-root-user sh -c "mount --bind \"$0\" /usr/local && exec \"$@\"" "${prefix}")
  execute_process(COMMAND ${run} test -f "${plugin}" RESULT_VARIABLE probe ERROR_VARIABLE probe_err)
  if(NOT probe EQUAL 0)
    message("SKIP: no private mount namespace here (${probe}: ${probe_err})")
    return()
  endif()
else()
  set(plugin_dir "${WORK_DIR}/plugins")
  file(MAKE_DIRECTORY "${plugin_dir}")
  set(plugin "${plugin_dir}/${PLUGIN_NAME}")
  set(dated "${plugin}")
  file(COPY_FILE "${PLUGIN_DIR}/${PLUGIN_NAME}" "${plugin}")
  set(ENV{LXVST_PATH} "${plugin_dir}")
  set(ENV{VST_PATH} "${plugin_dir}")
endif()
# Ardour trusts its scan index only while the index is newer than the library, compared
# to the second, so a library linked within the last second looks changed and the
# session finds no plug-in. The host therefore sees a library dated well in the past
# (a packaged one keeps the package's dates).
if(dated)
  execute_process(COMMAND touch -d "2000-01-01 00:00:00" "${dated}" RESULT_VARIABLE touch_result)
  if(NOT touch_result EQUAL 0)
    message(FATAL_ERROR "could not date the plug-in in the past (${touch_result})")
  endif()
endif()
# Ardour's own scanner indexes the plug-in first (in a session, Ardour only reads that
# index for the libraries it finds in its search path); it loads the library and asks
# the instance what a host asks at scan time.
get_filename_component(ardour_lib "${ARDOUR_SCANNER}" DIRECTORY)
set(ENV{LD_LIBRARY_PATH} "${ardour_lib}")
execute_process(COMMAND ${run} "${ARDOUR_SCANNER}" -f "${plugin}"
  RESULT_VARIABLE scan_result OUTPUT_VARIABLE scan_out ERROR_VARIABLE scan_err)
message("${scan_out}${scan_err}")
if(NOT scan_result EQUAL 0 OR NOT "${scan_out}${scan_err}" MATCHES "Found Plugin: '[^']*' Velmor Loom")
  message(FATAL_ERROR "Ardour's scanner did not index the plug-in (${scan_result})")
endif()
unset(ENV{LD_LIBRARY_PATH})
vl_ardour_phase(save "ardour session")
vl_ardour_phase(load "ardour session")
