# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks libTallimorC.so as the HotSync manager loads it: exactly the six entry points
# are exported, and the help page the dialog opens stands beside it.
# Run with: cmake -DLIBRARY=<path> -P CheckConduitExports.cmake
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)
set(expected "CfgConduit;ConfigureConduit;GetConduitInfo;GetConduitName;GetConduitVersion;OpenConduit")
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exports are '${exported}', expected ${expected}")
endif()
get_filename_component(directory ${LIBRARY} DIRECTORY)
if(NOT EXISTS ${directory}/hotsyncd.html)
  message(FATAL_ERROR "no help page hotsyncd.html beside ${LIBRARY}")
endif()
message(STATUS "exports ${exported}; help page beside the library")
