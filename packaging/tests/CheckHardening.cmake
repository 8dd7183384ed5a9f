# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads the installed programs (PREFIX/BINDIR/*) and libraries (PREFIX/PRIVATE_LIBDIR)
# as the dynamic loader and a distribution's checks see them:
#   programs are position independent (ELF type DYN), so address randomisation moves them;
#   programs and libraries have a GNU_RELRO segment and bind every symbol at start
#   (BIND_NOW, or NOW in FLAGS_1), so their relocations end up read-only;
#   programs call __stack_chk_fail, i.e. their stack frames carry canaries;
#   with FORTIFY, programs call checked libc variants (__memcpy_chk, __snprintf_chk, ...).
# Every failure is listed before the test fails. Works on any installation:
#   cmake -DPREFIX=<prefix> [-DBINDIR=bin] [-DPRIVATE_LIBDIR=lib/tallimor] [-DFORTIFY=ON]
#         -P packaging/tests/CheckHardening.cmake
if(NOT DEFINED PREFIX)
  message(FATAL_ERROR "CheckHardening: PREFIX is not set")
endif()
if(NOT DEFINED BINDIR)
  set(BINDIR bin)
endif()
if(NOT DEFINED PRIVATE_LIBDIR)
  set(PRIVATE_LIBDIR lib/tallimor)
endif()
if(NOT DEFINED NO_FORTIFY_REASON)
  set(NO_FORTIFY_REASON "FORTIFY is off")
endif()
find_program(READELF readelf REQUIRED)

file(GLOB programs ${PREFIX}/${BINDIR}/*)
# The libraries themselves, not the links that name them by soname.
file(GLOB candidates ${PREFIX}/${PRIVATE_LIBDIR}/*.so*)
set(libraries)
foreach(candidate ${candidates})
  if(NOT IS_SYMLINK ${candidate})
    list(APPEND libraries ${candidate})
  endif()
endforeach()
if(NOT programs OR NOT libraries)
  message(FATAL_ERROR "no programs in ${PREFIX}/${BINDIR} or no libraries in ${PREFIX}/${PRIVATE_LIBDIR}")
endif()

set(failures)
function(readelf_of file option out)
  execute_process(COMMAND ${READELF} -W ${option} ${file}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf ${option} ${file} failed (${rc}): ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Checks common to programs and libraries; appends to `failures` in the caller.
macro(check_relro_now file name)
  readelf_of(${file} --program-headers segments)
  if(NOT segments MATCHES "GNU_RELRO")
    list(APPEND failures "${name}: no GNU_RELRO segment (link with -z relro)")
  endif()
  readelf_of(${file} --dynamic dynamic)
  if(NOT dynamic MATCHES "\\(BIND_NOW\\)" AND NOT dynamic MATCHES "\\(FLAGS(_1)?\\)[^\n]*[ :]NOW"
     AND NOT dynamic MATCHES "\\(FLAGS\\)[^\n]*BIND_NOW")
    list(APPEND failures "${name}: symbols are bound lazily (no BIND_NOW / FLAGS_1 NOW, link with -z now)")
  endif()
endmacro()

set(fortified_programs 0)
foreach(program ${programs})
  get_filename_component(name ${program} NAME)
  readelf_of(${program} --file-header header)
  if(NOT header MATCHES "Type:[ \t]+DYN")
    string(REGEX MATCH "Type:[^\n]*" type "${header}")
    list(APPEND failures "${name}: not position independent (${type})")
  endif()
  check_relro_now(${program} ${name})
  readelf_of(${program} --dyn-syms symbols)
  if(NOT symbols MATCHES "__stack_chk_fail")
    list(APPEND failures "${name}: no stack protector (__stack_chk_fail is never called)")
  endif()
  if(FORTIFY)
    # Imported from glibc, so versioned: __memcpy_chk@GLIBC_2.3.4.
    string(REGEX MATCHALL "__[a-z0-9_]+_chk@" checked "${symbols}")
    list(TRANSFORM checked REPLACE "@$" "")
    list(REMOVE_DUPLICATES checked)
    if(checked)
      list(JOIN checked " " shown)
      message(STATUS "${name}: fortified calls ${shown}")
      math(EXPR fortified_programs "${fortified_programs} + 1")
    else()
      list(APPEND failures "${name}: no fortified libc call (__*_chk), built without _FORTIFY_SOURCE?")
    endif()
  endif()
endforeach()
foreach(library ${libraries})
  get_filename_component(name ${library} NAME)
  check_relro_now(${library} ${name})
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "hardening missing:\n  ${text}")
endif()
list(LENGTH programs program_count)
list(LENGTH libraries library_count)
message(STATUS "${program_count} programs: PIE, full RELRO, stack protector; "
               "${library_count} libraries: full RELRO")
if(FORTIFY)
  message(STATUS "${fortified_programs} programs call fortified libc functions")
else()
  message(STATUS "fortified libc calls not checked: ${NO_FORTIFY_REASON}")
endif()
