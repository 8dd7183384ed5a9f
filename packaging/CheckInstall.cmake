# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the installation in PREFIX (made by tests/InstallTree.cmake) as a user gets it:
# every expected file is there and nothing unexpected; the command-line programs start
# and answer --help; whatever needs the Sync Manager library loads the installed copy
# from the private library directory; the conduit's help page is where the conduit
# looks; the man pages carry the release; and the installed programs, conduit and
# notifier carry a memo through a HotSync.
# Lists arrive '|'-separated: EXPECTED and UNEXPECTED, paths under the prefix.

cmake_minimum_required(VERSION 3.25)

foreach(var PREFIX EXPECTED UNEXPECTED BINDIR PRIVATE_LIBDIR MANDIR HELP_FROM_LIBRARY VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckInstall: ${var} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" expected "${EXPECTED}")
string(REPLACE "|" ";" unexpected "${UNEXPECTED}")
set(runnable hotsync tallimor-handheld tallimor-dump)
set(private ${PREFIX}/${PRIVATE_LIBDIR})
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
set(sync_library ${private}/libtallimor_sync.so.${major})

set(missing)
foreach(path ${expected})
  if(NOT EXISTS ${PREFIX}/${path})
    list(APPEND missing ${path})
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "missing from the installation:\n  ${text}")
endif()
foreach(path ${unexpected})
  if(EXISTS ${PREFIX}/${path} OR IS_SYMLINK ${PREFIX}/${path})
    message(FATAL_ERROR "the installation should not hold ${path}")
  endif()
endforeach()

# The conduit's Help button finds the one installed help page from its own directory.
get_filename_component(help "${private}/${HELP_FROM_LIBRARY}/hotsyncd.html" ABSOLUTE)
if(NOT EXISTS ${help})
  message(FATAL_ERROR "the conduit looks for its help page at ${help}, which is not installed")
endif()

# The man pages carry this release in their header line.
file(GLOB pages ${PREFIX}/${MANDIR}/man1/*.1)
foreach(page ${pages})
  file(STRINGS ${page} header REGEX "^\\.TH " LIMIT_COUNT 1)
  if(NOT header MATCHES "\"Tallimor ${VERSION}\"")
    message(FATAL_ERROR "${page} is not stamped with this release: ${header}")
  endif()
endforeach()

# The programs run with no help from the environment: no library path into the build.
foreach(program ${runnable})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH
                          ${PREFIX}/${BINDIR}/${program} --help
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "Usage: ${program}")
    message(FATAL_ERROR "${PREFIX}/${BINDIR}/${program} --help failed (${rc}):\n${out}\n${err}")
  endif()
endforeach()

# Whatever needs the Sync Manager library must resolve it to the installed copy.
find_program(LDD ldd REQUIRED)
file(GLOB binaries ${PREFIX}/${BINDIR}/* ${private}/*.so)
set(users)
foreach(binary ${binaries})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${LDD} ${binary}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(out MATCHES "not found")
    message(FATAL_ERROR "${binary} misses libraries:\n${out}")
  endif()
  if(out MATCHES "libtallimor_sync\\.so[^ ]* => ([^ ]+)")
    get_filename_component(found "${CMAKE_MATCH_1}" REALPATH)
    get_filename_component(installed "${sync_library}" REALPATH)
    if(NOT found STREQUAL installed)
      message(FATAL_ERROR "${binary} loads ${found} instead of ${installed}")
    endif()
    get_filename_component(name ${binary} NAME)
    list(APPEND users ${name})
  endif()
endforeach()
# hotsync and the conduit share the library; the plug-in loads it as hotsync's already
# loaded copy, so both must name it the same way.
foreach(name hotsync libTallimorC.so)
  if(NOT name IN_LIST users)
    message(FATAL_ERROR "${name} does not load the Sync Manager library (loaders: ${users})")
  endif()
endforeach()

# A whole HotSync made by the installed programs, which must find the installed conduit
# and notifier on their own: the dynamic loader's trace shows which files were loaded.
set(conduit ${private}/libTallimorC.so)
set(notifier ${private}/libTallimorN.so)
block()
  set(scratch ${PREFIX}-hotsync)
  file(REMOVE_RECURSE ${scratch})
  file(MAKE_DIRECTORY ${scratch}/run)
  file(CHMOD ${scratch}/run DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set(env ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH --unset=TALLIMOR_CONDUIT
          --unset=TALLIMOR_NOTIFIER XDG_RUNTIME_DIR=${scratch}/run)
  set(handheld ${PREFIX}/${BINDIR}/tallimor-handheld --handheld ${scratch}/handheld)
  foreach(step "init;--user;Installed" "create-db" "add;installed memo")
    execute_process(COMMAND ${env} ${handheld} ${step}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "tallimor-handheld ${step} failed (${rc}):\n${out}\n${err}")
    endif()
  endforeach()
  execute_process(COMMAND ${env} LD_DEBUG=files ${PREFIX}/${BINDIR}/hotsync --root ${scratch}/root
                          sync --handheld ${scratch}/handheld --action slow
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "hotsync sync with the installed conduit failed (${rc}):\n${out}\n${err}")
  endif()
  foreach(library ${conduit} ${notifier})
    string(FIND "${err}" "file=${library}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the installed hotsync did not load ${library}:\n${err}")
    endif()
  endforeach()
  # One Sync Manager library for hotsync and the conduit, the installed one: a second
  # copy would give the conduit a handheld that was never attached.
  # (The trace's ';' would split the matches as a CMake list.)
  string(REPLACE ";" "," trace "${err}")
  string(REGEX MATCHALL "file=[^ ]*libtallimor_sync[^ ]* \\[[0-9]+\\], +generating link map"
         loads "${trace}")
  list(LENGTH loads load_count)
  if(NOT err MATCHES "calling init: ([^\n]*libtallimor_sync[^\n]*)\n" OR NOT load_count EQUAL 1)
    message(FATAL_ERROR "the Sync Manager library was loaded ${load_count} times:\n${err}")
  endif()
  get_filename_component(loaded "${CMAKE_MATCH_1}" REALPATH)
  get_filename_component(installed "${sync_library}" REALPATH)
  if(NOT loaded STREQUAL installed)
    message(FATAL_ERROR "hotsync loaded the Sync Manager library ${loaded}, not ${installed}")
  endif()
  execute_process(COMMAND ${env} ${PREFIX}/${BINDIR}/tallimor-dump --json
                          ${scratch}/root/Installed/Tallimor-Vexa/record.dat
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # "installed memo" as the hex of its bytes, as the dump shows record data.
  if(NOT rc EQUAL 0 OR NOT out MATCHES "696e7374616c6c6564206d656d6f")
    message(FATAL_ERROR "the memo did not reach the desktop file (${rc}):\n${out}\n${err}")
  endif()
  file(REMOVE_RECURSE ${scratch})
endblock()

list(LENGTH expected files)
list(LENGTH runnable programs)
message(STATUS "installation in ${PREFIX}: ${files} files present, ${programs} programs start")
