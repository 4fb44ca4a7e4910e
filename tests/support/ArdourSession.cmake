# What the headless Ardour runners (cmake -P scripts) share: a fresh work folder holding
# Ardour's settings, caches and the session, and one phase of a session script.

# Empties WORK_DIR and points HOME, the XDG folders and the session script's folder into it.
macro(vl_ardour_home)
  file(REMOVE_RECURSE "${WORK_DIR}")
  file(MAKE_DIRECTORY "${WORK_DIR}/home")
  set(ENV{HOME} "${WORK_DIR}/home")
  set(ENV{XDG_CONFIG_HOME} "${WORK_DIR}/home/.config")
  set(ENV{XDG_CACHE_HOME} "${WORK_DIR}/home/.cache")
  set(ENV{VL_SESSION_DIR} "${WORK_DIR}/session")
endmacro()

# Runs SCRIPT with ARDOUR_LUA (behind the command prefix in the caller's list `run`, if
# any) in the given phase ("save" or "load", each a process of its own); the script must
# end by printing "<label> <phase>: ok".
function(vl_ardour_phase phase label)
  set(ENV{VL_PHASE} ${phase})
  execute_process(COMMAND ${run} "${ARDOUR_LUA}" "${SCRIPT}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}")
  if(NOT result EQUAL 0 OR NOT out MATCHES "${label} ${phase}: ok")
    message(FATAL_ERROR "${label} ${phase} failed (${result}):\n${err}")
  endif()
endfunction()
