# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Sync Manager library as the programs and plug-ins that load it see it: it
# is named by its versioned soname (SONAME), and it exports the functions declared
# TALLIMOR_SYNC_API in HEADER and nothing else, none of the classes and file code it is
# built from, which a program could otherwise come to depend on.
# Run with: cmake -DLIBRARY=<lib> -DHEADER=<SyncManager.h> -DSONAME=<name> -P CheckSyncLibrary.cmake
foreach(var LIBRARY HEADER SONAME)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckSyncLibrary: ${var} is not set")
  endif()
endforeach()
find_program(READELF readelf REQUIRED)
find_program(NM nm REQUIRED)

execute_process(COMMAND ${READELF} -W --dynamic ${LIBRARY} OUTPUT_VARIABLE dynamic
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT dynamic MATCHES "\\(SONAME\\)[^\n]*\\[([^]\n]*)\\]")
  message(FATAL_ERROR "${LIBRARY} has no soname")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL SONAME)
  message(FATAL_ERROR "${LIBRARY} is named ${CMAKE_MATCH_1}, expected ${SONAME}")
endif()

# The interface: the function names declared with the export macro.
file(READ ${HEADER} header)
string(REGEX MATCHALL "\nTALLIMOR_SYNC_API [^(\n]* (Sync[A-Za-z]+)\\(" declarations "${header}")
set(declared)
foreach(declaration ${declarations})
  string(REGEX REPLACE ".* (Sync[A-Za-z]+)\\($" "\\1" name "${declaration}")
  list(APPEND declared tallimor::${name})
endforeach()
list(SORT declared)
list(LENGTH declared declared_count)
if(declared_count LESS 30)
  message(FATAL_ERROR "found only ${declared_count} TALLIMOR_SYNC_API declarations in ${HEADER}")
endif()

# What the library exports: its defined dynamic symbols, demangled, without the
# parameter lists and version; the version node itself (type A) is no export.
execute_process(COMMAND ${NM} -D -C --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported)
foreach(line ${lines})
  if(line MATCHES "^[0-9a-fA-F]* +A ")
    continue()
  endif()
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  string(REGEX REPLACE "\\(.*$" "" name "${name}")
  string(REGEX REPLACE "@.*$" "" name "${name}")
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)

set(extra ${exported})
list(REMOVE_ITEM extra ${declared})
set(missing ${declared})
list(REMOVE_ITEM missing ${exported})
if(extra OR missing)
  list(JOIN extra "\n  " extra_text)
  list(JOIN missing "\n  " missing_text)
  message(FATAL_ERROR "${LIBRARY} exports what it should not:\n  ${extra_text}\n"
                      "and lacks exports its header declares:\n  ${missing_text}")
endif()
message(STATUS "${SONAME}: exports exactly the ${declared_count} functions of ${HEADER}")
