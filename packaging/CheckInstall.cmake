# Installs the build into a fresh prefix and checks what a user gets: every expected
# file is there, the command-line programs start and answer --help, every installed
# program and library finds the Sync Manager library inside the prefix, not in the build,
# and the installed programs, conduit and notifier carry a memo through a HotSync.
# Lists arrive '|'-separated: EXPECTED (paths under the prefix), RUNNABLE (program names).

cmake_minimum_required(VERSION 3.25)

foreach(var BUILD_DIR PREFIX EXPECTED LIBDIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckInstall: ${var} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" expected "${EXPECTED}")
string(REPLACE "|" ";" runnable "${RUNNABLE}")

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}\n${err}")
endif()

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

# The programs run with no help from the environment: no library path into the build.
foreach(program ${runnable})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH
                          ${PREFIX}/bin/${program} --help
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "Usage: ${program}")
    message(FATAL_ERROR "${PREFIX}/bin/${program} --help failed (${rc}):\n${out}\n${err}")
  endif()
endforeach()

# Whatever needs the Sync Manager library must resolve it to the installed copy.
find_program(LDD ldd)
if(LDD)
  file(GLOB_RECURSE binaries ${PREFIX}/bin/* ${PREFIX}/${LIBDIR}/*.so)
  foreach(binary ${binaries})
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${LDD} ${binary}
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(out MATCHES "not found")
      message(FATAL_ERROR "${binary} misses libraries:\n${out}")
    endif()
    if(out MATCHES "libtallimor_sync\\.so => ([^ ]+)")
      get_filename_component(found "${CMAKE_MATCH_1}" REALPATH)
      get_filename_component(installed "${PREFIX}/${LIBDIR}/libtallimor_sync.so" REALPATH)
      if(NOT found STREQUAL installed)
        message(FATAL_ERROR "${binary} loads ${found} instead of ${installed}")
      endif()
    endif()
  endforeach()
endif()

# A whole HotSync made by the installed programs, which must find the installed conduit
# and notifier on their own: the dynamic loader's trace shows which files were loaded.
set(conduit ${PREFIX}/${LIBDIR}/tallimor/libTallimorC.so)
set(notifier ${PREFIX}/${LIBDIR}/tallimor/libTallimorN.so)
if("hotsync" IN_LIST runnable AND "tallimor-handheld" IN_LIST runnable
   AND "tallimor-dump" IN_LIST runnable AND EXISTS ${conduit} AND EXISTS ${notifier})
  set(scratch ${PREFIX}-hotsync)
  file(REMOVE_RECURSE ${scratch})
  file(MAKE_DIRECTORY ${scratch}/run)
  file(CHMOD ${scratch}/run DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set(env ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH --unset=TALLIMOR_CONDUIT
          --unset=TALLIMOR_NOTIFIER XDG_RUNTIME_DIR=${scratch}/run)
  set(handheld ${PREFIX}/bin/tallimor-handheld --handheld ${scratch}/handheld)
  foreach(step "init;--user;Installed" "create-db" "add;installed memo")
    execute_process(COMMAND ${env} ${handheld} ${step}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "tallimor-handheld ${step} failed (${rc}):\n${out}\n${err}")
    endif()
  endforeach()
  execute_process(COMMAND ${env} LD_DEBUG=files ${PREFIX}/bin/hotsync --root ${scratch}/root
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
  execute_process(COMMAND ${env} ${PREFIX}/bin/tallimor-dump --json
                          ${scratch}/root/Installed/Tallimor-Vexa/record.dat
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # "installed memo" as the hex of its bytes, as the dump shows record data.
  if(NOT rc EQUAL 0 OR NOT out MATCHES "696e7374616c6c6564206d656d6f")
    message(FATAL_ERROR "the memo did not reach the desktop file (${rc}):\n${out}\n${err}")
  endif()
  file(REMOVE_RECURSE ${scratch})
endif()

list(LENGTH expected files)
list(LENGTH runnable programs)
message(STATUS "installation in ${PREFIX}: ${files} files present, ${programs} programs start")
