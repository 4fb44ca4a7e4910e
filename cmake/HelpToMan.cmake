# Writes a manual page from what a program prints for --help, so that the two never
# disagree. Run at build time:
#   cmake -DPROGRAM=<path> -DNAME=<name> -DVERSION=<x.y.z> "-DSEE_ALSO=<page(1);...>"
#         -DGUIDE=<the user's guide, relative to the prefix> -DOUT=<name.1> -P HelpToMan.cmake
#
# The help text's layout is read as follows:
#   "Usage: NAME ARGS"                      the synopsis
#   the lines up to the first empty one     the description (its first sentence is
#                                           the page's one-line summary)
#   "  -x, --long ARG   text" entries       options; deeper-indented lines continue
#                                           the text of the entry above
#   "Exit status: ..." paragraph            EXIT STATUS
#   any other paragraph                     NOTES
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed (${result})")
endif()

# Text for the page: backslashes and minus signs escaped, no line starting with a
# control character.
function(roff_escape out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REPLACE ";" "\\;" help "${help}")
string(REGEX REPLACE "\n$" "" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

set(synopsis "")
set(description "")
set(options "")
set(notes "")
set(exit_status "")
set(part usage)   # usage, description, between, options, paragraph
set(paragraph "")
macro(flush_paragraph)
  if(NOT paragraph STREQUAL "")
    if(paragraph MATCHES "^Exit status:")
      string(APPEND exit_status "${paragraph}")
    else()
      string(APPEND notes ".PP\n${paragraph}")
    endif()
    set(paragraph "")
  endif()
endmacro()

foreach(raw IN LISTS lines)
  roff_escape(line "${raw}")
  if(part STREQUAL "usage")
    if(NOT raw MATCHES "^Usage: +([^ ]+) *(.*)$")
      message(FATAL_ERROR "${PROGRAM} --help does not start with a usage line")
    endif()
    roff_escape(args "${CMAKE_MATCH_2}")
    set(synopsis ".B ${NAME}\n${args}\n")
    set(part description)
  elseif(raw STREQUAL "")
    if(part STREQUAL "description" OR part STREQUAL "options")
      set(part between)
    elseif(part STREQUAL "paragraph")
      flush_paragraph()
      set(part between)
    endif()
  elseif(part STREQUAL "description")
    string(APPEND description "${line}\n")
  elseif(raw MATCHES "^ +-")
    # an option: its name and argument, then two or more blanks, then its text
    string(STRIP "${raw}" entry)
    if(entry MATCHES "^(.*[^ ])  +(.*)$")
      roff_escape(tag "${CMAKE_MATCH_1}")
      roff_escape(text "${CMAKE_MATCH_2}")
    else()
      roff_escape(tag "${entry}")
      set(text "")
    endif()
    string(APPEND options ".TP\n.B ${tag}\n${text}\n")
    set(part options)
  elseif(part STREQUAL "options" AND raw MATCHES "^      +[^ ]")
    string(STRIP "${line}" text)
    string(APPEND options "${text}\n")
  else()
    set(part paragraph)
    string(APPEND paragraph "${line}\n")
  endif()
endforeach()
flush_paragraph()

# The one-line summary: the description's first sentence.
string(REPLACE "\n" " " summary "${description}")
string(REGEX REPLACE "\\. .*$" "" summary "${summary}")
string(REGEX REPLACE "[. ]+$" "" summary "${summary}")

string(TOUPPER "${NAME}" title)
set(page ".\\\" Generated from the output of ${NAME} --help; do not edit.
.TH ${title} 1 \"\" \"Velmor Loom ${VERSION}\" \"User Commands\"
.nh
.ad l
.SH NAME
${NAME} \\- ${summary}
.SH SYNOPSIS
${synopsis}.SH DESCRIPTION
${description}")
if(NOT options STREQUAL "")
  string(APPEND page ".SH OPTIONS\n${options}")
endif()
if(NOT exit_status STREQUAL "")
  string(APPEND page ".SH EXIT STATUS\n${exit_status}")
endif()
if(NOT notes STREQUAL "")
  string(APPEND page ".SH NOTES\n${notes}")
endif()
set(see "")
foreach(ref IN LISTS SEE_ALSO)
  string(REGEX REPLACE "^(.*)\\(([0-9])\\)$" ".BR \\1 (\\2)" ref "${ref}")
  string(APPEND see "${ref}\n")
endforeach()
if(GUIDE)
  roff_escape(guide "${GUIDE}")
  string(APPEND see "and the user's guide,\n.I ${guide}\nunder the installation prefix (\n.I /usr\nor\n.IR /usr/local ).\n")
endif()
if(NOT see STREQUAL "")
  string(APPEND page ".SH SEE ALSO\n${see}")
endif()
file(WRITE ${OUT}.tmp "${page}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
