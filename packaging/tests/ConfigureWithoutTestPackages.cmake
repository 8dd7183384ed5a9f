# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# An installing build (no tests, no benchmarks) must configure on a machine without
# googletest, Google Benchmark and OpenSSL's development files: each is made unfindable.
# The same configure with the tests on must then fail, which shows that the packages
# really were out of reach.
# Run with: cmake -DSOURCE_DIR=<src> -DBINARY_DIR=<scratch> -DGENERATOR=<gen>
#                 -DC_COMPILER=<cc> -DCXX_COMPILER=<c++> -P ConfigureWithoutTestPackages.cmake
foreach(var SOURCE_DIR BINARY_DIR GENERATOR C_COMPILER CXX_COMPILER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ConfigureWithoutTestPackages: ${var} is not set")
  endif()
endforeach()

set(unfindable
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
  -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON)
function(configure tests out_rc out_text)
  file(REMOVE_RECURSE ${BINARY_DIR})
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR} -G ${GENERATOR}
                          -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
                          -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLIMOR_TESTS=${tests}
                          -DTALLIMOR_BENCH=OFF ${unfindable}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${out_rc} ${rc} PARENT_SCOPE)
  set(${out_text} "${out}\n${err}" PARENT_SCOPE)
endfunction()

configure(ON rc text)
if(rc EQUAL 0 OR NOT text MATCHES "GTest")
  message(FATAL_ERROR "configuring the tests with googletest made unfindable did not fail "
                      "for it: the check below would prove nothing\n${text}")
endif()

configure(OFF rc text)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "an installing build needs a test or benchmark package (${rc}):\n${text}")
endif()
# It installs every program.
file(READ ${BINARY_DIR}/cmake_install.cmake install_rules)
file(GLOB_RECURSE install_scripts ${BINARY_DIR}/*/cmake_install.cmake)
foreach(script ${install_scripts})
  file(READ ${script} rules)
  string(APPEND install_rules "${rules}")
endforeach()
foreach(program tallimor hotsync tallimor-handheld tallimor-dump)
  if(NOT install_rules MATCHES "/${program}\"")
    message(FATAL_ERROR "the installing build does not install ${program}")
  endif()
endforeach()
file(REMOVE_RECURSE ${BINARY_DIR})
message(STATUS "configured without googletest, Google Benchmark and OpenSSL; every program installed")
