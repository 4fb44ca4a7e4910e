# lv2ls and lv2info, given only the bundle in LV2_PATH: the plug-in is listed, lilv reads
# its Turtle without a complaint, and it has its 16 ports, its 8 presets and its X11 UI
# as the instrument's tables say.
set(ENV{LV2_PATH} ${LV2_PATH})
set(uri "urn:tarlowe:velmorloom")

execute_process(COMMAND ${LV2LS} OUTPUT_VARIABLE listing ERROR_VARIABLE listing_errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT listing MATCHES "^${uri}\n$")
  message(FATAL_ERROR "lv2ls listed:\n${listing}\n${listing_errors}")
endif()
if(NOT listing_errors STREQUAL "")
  message(FATAL_ERROR "lilv complained while listing:\n${listing_errors}")
endif()

# lv2info also gets the system's bundles, where the class hierarchy of lv2core is described
# (without it every plug-in's class shows as "Plugin").
set(ENV{LV2_PATH} "${LV2_PATH}:/usr/lib/lv2")
execute_process(COMMAND ${LV2INFO} ${uri} OUTPUT_VARIABLE info ERROR_VARIABLE info_errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR info_errors MATCHES "velmorloom")
  message(FATAL_ERROR "lv2info failed (${rc}):\n${info}\n${info_errors}")
endif()

function(expect pattern what)
  if(NOT info MATCHES "${pattern}")
    message(FATAL_ERROR "lv2info does not show ${what} (${pattern}):\n${info}")
  endif()
endfunction()

expect("Name:[ \t]+Velmor Loom\n" "the name")
expect("Class:[ \t]+Instrument" "the instrument class")
expect("urn:tarlowe:velmorloom#ui\n[ \t]+Class:[ \t]+http://lv2plug.in/ns/extensions/ui#X11UI" "the X11 UI")
expect("http://lv2plug.in/ns/ext/state#interface" "the state interface")

# Exactly ports 0..15.
string(REGEX MATCHALL "\n\tPort [0-9]+:" ports "${info}")
list(LENGTH ports port_count)
if(NOT port_count EQUAL 16)
  message(FATAL_ERROR "lv2info shows ${port_count} ports, not 16:\n${info}")
endif()

# The 13 parameters in index order, each from 0 to 1 with the default of "String Ensemble".
set(names "Level" "Attack Time" "Release Time" "Brightness" "Ensemble Speed" "Ensemble Amount"
          "Ensemble Feedback" "Phaser Rate" "Phaser Depth" "Phaser Feedback" "Reverb Length" "Reverb Mix" "Voices")
set(defaults 1.000000 0.100000 0.300000 0.400000 0.300000 0.400000 0.400000 0.250000 0.600000 0.950000
             0.350000 0.350000 0.500000)
# lilv lists a port's two types in either order.
set(control_input "[^\n]+(ControlPort|InputPort)\n[^\n]+(ControlPort|InputPort)\n")
set(atom_input "[^\n]+(AtomPort|InputPort)\n[^\n]+(AtomPort|InputPort)\n")
set(audio_output "[^\n]+(AudioPort|OutputPort)\n[^\n]+(AudioPort|OutputPort)\n")
foreach(i RANGE 12)
  list(GET names ${i} name)
  list(GET defaults ${i} default)
  expect("Port ${i}:\n${control_input}[^\n]+\n[ \t]+Name:[ \t]+${name}\n[ \t]+Minimum:[ \t]+0.000000\n[ \t]+Maximum:[ \t]+1.000000\n[ \t]+Default:[ \t]+${default}\n"
         "control port ${i} (${name})")
endforeach()
expect("Port 13:\n${atom_input}[ \t]+Symbol:[ \t]+midi_in\n" "the MIDI input")
expect("Port 14:\n${audio_output}[^\n]+\n[ \t]+Name:[ \t]+Left" "the left output")
expect("Port 15:\n${audio_output}[^\n]+\n[ \t]+Name:[ \t]+Right" "the right output")

foreach(program "String Ensemble" "Velmor Lead" "Faraway pad" "Velmor Flute" "Pad Lead" "Soft Pad"
                "Solo Strings" "Warm Strings")
  expect("\n[ \t]+${program}\n" "the preset \"${program}\"")
endforeach()
string(REGEX REPLACE ".*Presets:[ \t]*\n(.*)\n\n\tPort 0:.*" "\\1" preset_block "${info}")
string(REGEX MATCHALL "\n" preset_lines "\n${preset_block}")
list(LENGTH preset_lines preset_count)
if(NOT preset_count EQUAL 8)
  message(FATAL_ERROR "lv2info lists ${preset_count} presets, not 8:\n${preset_block}")
endif()
