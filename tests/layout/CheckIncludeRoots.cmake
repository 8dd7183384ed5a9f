# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves that a library's include path hides the folders above and beside it, run as
# cmake -DSETTINGS=<file> -DSCRATCH=<dir> -P CheckIncludeRoots.cmake, where SETTINGS (made
# by tests/layout/CMakeLists.txt) sets COMPILER, STANDARD, SOURCE_ROOT, FOLDER,
# FOLDER_DIR, TARGET_DIR,
# INTERFACE_INCLUDES (what the library gives to whatever links it), INCLUDES and
# DEFINITIONS (what its own sources are compiled with), SOURCES and FORBIDDEN.
#
# With the library's interface include path, a one-line source including each FORBIDDEN
# header must fail because the header is not found (any other failure is a fault of the
# check, not a proof), and one including every header of the folder must compile; every
# source of the library must compile with the library's own flags. So an include that
# points the wrong way, in a header or a source, fails here as it fails the build.
include(${SETTINGS})
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
set(faults "")
# -fPIC because Qt's headers refuse code built without it.
set(common ${STANDARD} -fsyntax-only -fPIC)

# Sets <rc> and <text> from compiling <sources> with the include directories <dirs>.
function(compile rc text dirs definitions)
  set(args ${common})
  foreach(dir IN LISTS dirs)
    list(APPEND args -I${dir})
  endforeach()
  foreach(definition IN LISTS definitions)
    list(APPEND args -D${definition})
  endforeach()
  execute_process(COMMAND ${COMPILER} ${args} ${ARGN}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${rc} ${result} PARENT_SCOPE)
  set(${text} "${output}" PARENT_SCOPE)
endfunction()

# The headers above or beside the folder: each must be missing from the include path.
set(number 0)
foreach(header IN LISTS FORBIDDEN)
  math(EXPR number "${number} + 1")
  if(NOT EXISTS ${SOURCE_ROOT}/${header})
    list(APPEND faults "${header} is not a header of the project, so proves nothing")
    continue()
  endif()
  set(probe ${SCRATCH}/forbidden_${number}.cpp)
  file(WRITE ${probe} "#include \"${header}\"\n")
  compile(rc text "${INTERFACE_INCLUDES}" "" ${probe})
  if(rc EQUAL 0)
    list(APPEND faults "${FOLDER}'s include path reaches ${header}, which is not below ${FOLDER}")
  elseif(NOT text MATCHES "file not found|No such file or directory")
    list(APPEND faults "including ${header} failed for another reason than a missing file:\n${text}")
  endif()
endforeach()

# Every header of the folder's own code (not its tests, fuzz targets, benchmarks or
# generators), in one source: it must find them and all they include.
file(GLOB_RECURSE headers RELATIVE ${FOLDER_DIR} ${FOLDER_DIR}/*.h)
set(own "")
foreach(header IN LISTS headers)
  if(NOT header MATCHES "(^|/)(tests|fuzz|bench|tools)/")
    string(APPEND own "#include \"${FOLDER}/${header}\"\n")
  endif()
endforeach()
if(own STREQUAL "")
  list(APPEND faults "${FOLDER} has no header to include")
else()
  file(WRITE ${SCRATCH}/own_headers.cpp "${own}")
  compile(rc text "${INTERFACE_INCLUDES}" "" ${SCRATCH}/own_headers.cpp)
  if(NOT rc EQUAL 0)
    list(APPEND faults "${FOLDER}'s own headers do not compile with its include path:\n${text}")
  endif()
endif()

# The library's sources, with the flags the build gives them (moc's output excluded:
# it lives in the build tree and is made by the build).
set(sources "")
foreach(source IN LISTS SOURCES)
  if(NOT IS_ABSOLUTE ${source})
    set(source ${TARGET_DIR}/${source})
  endif()
  string(FIND "${source}" "${FOLDER_DIR}/" at)
  if(source MATCHES "\\.cpp$" AND at EQUAL 0)
    list(APPEND sources ${source})
  endif()
endforeach()
if(sources)
  compile(rc text "${INCLUDES}" "${DEFINITIONS}" ${sources})
  if(NOT rc EQUAL 0)
    list(APPEND faults "${FOLDER}'s sources do not compile with its include path:\n${text}")
  endif()
endif()

list(LENGTH FORBIDDEN forbidden_count)
list(LENGTH sources source_count)
if(faults)
  list(JOIN faults "\n" report)
  message(FATAL_ERROR "${report}")
endif()
message(STATUS "${FOLDER}: ${forbidden_count} headers above or beside it hidden; "
               "its headers and ${source_count} sources compile")
