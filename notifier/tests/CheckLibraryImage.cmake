# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks libTallimorN.so as the HotSync manager loads it: it exports exactly HS_Notify and
# GetNotifierVersion, needs no library but libc, and carries its description and version.
# Run with: cmake -DLIBRARY=<path> -DVERSION_TEXT=<major.minor> -P CheckLibraryImage.cmake
find_program(NM nm REQUIRED)
find_program(READELF readelf REQUIRED)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)
if(NOT exported STREQUAL "GetNotifierVersion;HS_Notify")
  message(FATAL_ERROR "exports are '${exported}', expected GetNotifierVersion;HS_Notify")
endif()

execute_process(COMMAND ${READELF} -d ${LIBRARY} OUTPUT_VARIABLE dynamic
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
if(NOT needed STREQUAL "Shared library: [libc.so.6]")
  message(FATAL_ERROR "needs '${needed}', expected libc.so.6 alone")
endif()

file(STRINGS ${LIBRARY} description
     REGEX "FileDescription=Tallimor Desktop Notifier Module;InternalName=TallimorNotify;FileVersion=")
if(NOT description MATCHES "FileVersion=${VERSION_TEXT}$")
  message(FATAL_ERROR "description is '${description}', expected version ${VERSION_TEXT}")
endif()
message(STATUS "exports ${exported}; needs ${needed}; ${description}")
