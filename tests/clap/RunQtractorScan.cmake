# Qtractor's own plug-in scanner (the helper program Qtractor runs for every plug-in file
# it finds) loads velmorloom.clap: it must report the instrument with no audio input, two
# outputs, one MIDI input, 13 parameters, a panel and state.
#   cmake -DSCANNER=... -DPLUGIN=... -DWORK_DIR=... -P RunQtractorScan.cmake
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/scan-input.txt "CLAP:${PLUGIN}\n")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${WORK_DIR} HOME=${WORK_DIR}
          ${SCANNER}
  INPUT_FILE ${WORK_DIR}/scan-input.txt
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE rc
  TIMEOUT 60)
message(STATUS "scanner answered (${rc}):\n${out}")
if(NOT out MATCHES "(^|\n)CLAP\\|Velmor Loom\\|0:2\\|1:0\\|13:0\\|GUI,EXT,RT\\|[^|\n]*velmorloom\\.clap\\|0\\|")
  message(FATAL_ERROR "Qtractor's scanner did not report the instrument as expected:\n${out}\n${err}")
endif()
