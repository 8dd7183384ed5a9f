# Installs the build into a fresh prefix and checks what a user gets: every expected
# file is there, the command-line programs start and answer --help, and every installed
# program and library finds the Sync Manager library inside the prefix, not in the build.
# Lists arrive '|'-separated: EXPECTED (paths under the prefix), RUNNABLE (program names).

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

list(LENGTH expected files)
list(LENGTH runnable programs)
message(STATUS "installation in ${PREFIX}: ${files} files present, ${programs} programs start")
