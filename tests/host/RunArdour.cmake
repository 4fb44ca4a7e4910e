# Runs the Ardour session script on a fresh session folder, with Ardour's caches and
# settings kept inside the build tree.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/home")
set(ENV{HOME} "${WORK_DIR}/home")
set(ENV{XDG_CONFIG_HOME} "${WORK_DIR}/home/.config")
set(ENV{XDG_CACHE_HOME} "${WORK_DIR}/home/.cache")
# Ardour trusts its scan index only while the index is newer than the library, compared
# to the second, so a library linked within the last second looks changed and the
# session finds no plug-in. The host therefore sees a copy of the library dated well in
# the past.
set(plugin_dir "${WORK_DIR}/plugins")
file(MAKE_DIRECTORY "${plugin_dir}")
file(COPY_FILE "${PLUGIN_DIR}/${PLUGIN_NAME}" "${plugin_dir}/${PLUGIN_NAME}")
execute_process(COMMAND touch -d "2000-01-01 00:00:00" "${plugin_dir}/${PLUGIN_NAME}"
  RESULT_VARIABLE touch_result)
if(NOT touch_result EQUAL 0)
  message(FATAL_ERROR "could not date the plug-in copy in the past (${touch_result})")
endif()
set(ENV{LXVST_PATH} "${plugin_dir}")
set(ENV{VST_PATH} "${plugin_dir}")
set(ENV{VL_SESSION_DIR} "${WORK_DIR}/session")
# Ardour's own scanner indexes the plug-in first (in a session, Ardour only reads that
# index); it loads the library and asks the instance what a host asks at scan time.
get_filename_component(ardour_lib "${ARDOUR_SCANNER}" DIRECTORY)
set(ENV{LD_LIBRARY_PATH} "${ardour_lib}")
execute_process(COMMAND "${ARDOUR_SCANNER}" -f "${plugin_dir}/${PLUGIN_NAME}"
  RESULT_VARIABLE scan_result OUTPUT_VARIABLE scan_out ERROR_VARIABLE scan_err)
message("${scan_out}${scan_err}")
if(NOT scan_result EQUAL 0 OR NOT "${scan_out}${scan_err}" MATCHES "Found Plugin: '[^']*' Velmor Loom")
  message(FATAL_ERROR "Ardour's scanner did not index the plug-in (${scan_result})")
endif()
unset(ENV{LD_LIBRARY_PATH})
foreach(phase save load)
  set(ENV{VL_PHASE} ${phase})
  execute_process(COMMAND "${ARDOUR_LUA}" "${SCRIPT}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}")
  if(NOT result EQUAL 0 OR NOT out MATCHES "ardour session ${phase}: ok")
    message(FATAL_ERROR "Ardour session ${phase} failed (${result}):\n${err}")
  endif()
endforeach()
