# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build BUILD_DIR into a fresh PREFIX, for the packaging tests that read
# an installation. Run with: cmake -DBUILD_DIR=<build> -DPREFIX=<dir> -P InstallTree.cmake
foreach(var BUILD_DIR PREFIX)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "InstallTree: ${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}\n${err}")
endif()
message(STATUS "installed ${BUILD_DIR} into ${PREFIX}")
