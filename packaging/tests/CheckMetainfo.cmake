# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# The AppStream metadata as a software centre reads it: valid without the network (any
# issue above pedantic fails), describing this release, launching the desktop entry
# that is installed, and showing only screenshots that the repository has.
# Run with: cmake -DAPPSTREAMCLI=<tool> -DMETAINFO=<file> -DDESKTOP_ENTRY=<file>
#                 -DSCREENSHOTS=<docs/screenshots> -DVERSION=<x.y.z> -P CheckMetainfo.cmake
foreach(var APPSTREAMCLI METAINFO DESKTOP_ENTRY SCREENSHOTS VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckMetainfo: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --strict --pedantic ${METAINFO}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "appstreamcli validate failed (${rc}):\n${out}\n${err}")
endif()

file(READ ${METAINFO} xml)
set(failures)
# Releases are listed newest first; the newest is this build's.
if(NOT xml MATCHES "<release +version=\"([^\"]*)\"")
  list(APPEND failures "no release is listed")
elseif(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  list(APPEND failures "the newest release is ${CMAKE_MATCH_1}, the project is ${VERSION}: describe the release")
endif()
get_filename_component(entry ${DESKTOP_ENTRY} NAME)
if(NOT xml MATCHES "<launchable type=\"desktop-id\">([^<]*)</launchable>")
  list(APPEND failures "no desktop entry is launchable")
elseif(NOT CMAKE_MATCH_1 STREQUAL entry)
  list(APPEND failures "launches ${CMAKE_MATCH_1}, but the desktop entry is ${entry}")
endif()
string(REGEX MATCHALL "<image>[^<]*</image>" images "${xml}")
# The project has no public address to serve screenshots from yet; any listed must be
# one of the repository's.
foreach(image ${images})
  string(REGEX REPLACE "^<image>.*/docs/screenshots/([^/<]+)</image>$" "\\1" file "${image}")
  if(file STREQUAL image OR NOT EXISTS ${SCREENSHOTS}/${file})
    list(APPEND failures "${image} is not one of the repository's docs/screenshots")
  endif()
endforeach()
foreach(element summary p)
  if(NOT xml MATCHES "<${element} xml:lang=\"ja\">")
    list(APPEND failures "no Japanese <${element}>")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${METAINFO}:\n  ${text}")
endif()
list(LENGTH images count)
message(STATUS "metainfo valid for ${VERSION}, launching ${entry}, ${count} screenshots")
