# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# The installed man pages carry the release: the stamp rewrites the date and source of
# a page's header line and nothing else, refuses a page without one, the release date
# follows SOURCE_DATE_EPOCH, and every page of this build is its source stamped with
# VERSION and DATE.
# Run with: cmake -DSOURCE_DIR=<packaging> -DBUILT_DIR=<build>/packaging/man -DSCRATCH=<dir>
#                 -DPROGRAMS=a|b -DVERSION=<x.y.z> -DDATE=<YYYY-MM-DD> -P CheckManPages.cmake
foreach(var SOURCE_DIR BUILT_DIR SCRATCH PROGRAMS VERSION DATE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckManPages: ${var} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" programs "${PROGRAMS}")
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})

function(stamp in out version date result_var error_var)
  execute_process(COMMAND ${CMAKE_COMMAND} -DINPUT=${in} -DOUTPUT=${out} -DVERSION=${version}
                          -DDATE=${date} -P ${SOURCE_DIR}/StampManPage.cmake
                  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  set(${result_var} ${rc} PARENT_SCOPE)
  set(${error_var} "${err}" PARENT_SCOPE)
endfunction()

# A page whose header is not on its first line, whose body holds a second .TH line and
# a macro line that merely starts with .TH, and whose text has a ';' and backslashes.
file(WRITE ${SCRATCH}/sample.1
  ".\\\" A comment line before the header\n"
  ".TH SAMPLE 1 \"2001-02\" \"Old 0.1\" \"User Commands\"\n"
  ".SH NAME\nsample \\- a page; with \\fBbold\\fR text\n"
  ".nf\n.TH OTHER 5 \"x\" \"y\"\n.fi\n.THING\n")
stamp(${SCRATCH}/sample.1 ${SCRATCH}/sample.out 4.5.6 2030-07-09 rc err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "stamping a well-formed page failed:\n${err}")
endif()
file(READ ${SCRATCH}/sample.out got)
string(CONCAT want
  ".\\\" A comment line before the header\n"
  ".TH SAMPLE 1 \"2030-07-09\" \"Tallimor 4.5.6\" \"User Commands\"\n"
  ".SH NAME\nsample \\- a page; with \\fBbold\\fR text\n"
  ".nf\n.TH OTHER 5 \"x\" \"y\"\n.fi\n.THING\n")
if(NOT got STREQUAL want)
  message(FATAL_ERROR "stamped page differs:\n--- got\n${got}\n--- want\n${want}")
endif()

# Pages whose header cannot be stamped are refused, and nothing is written for them.
set(case 0)
foreach(bad ".SH NAME\nno header\n" ".TH NOQUOTES 1 2001 Old\n" ".TH\n")
  math(EXPR case "${case} + 1")
  file(WRITE ${SCRATCH}/bad${case}.1 "${bad}")
  stamp(${SCRATCH}/bad${case}.1 ${SCRATCH}/bad${case}.out 1.0.0 2030-01-01 rc err)
  if(rc EQUAL 0 OR NOT err MATCHES "no header line" OR EXISTS ${SCRATCH}/bad${case}.out)
    message(FATAL_ERROR "a page without a stampable header was accepted (${rc}): ${bad}")
  endif()
endforeach()

# The release date follows SOURCE_DATE_EPOCH, in UTC: 86399 is the last second of 1970-01-01.
file(WRITE ${SCRATCH}/date.cmake
  "include(${SOURCE_DIR}/ReleaseDate.cmake)\n"
  "tallimor_release_date(date)\nmessage(\"date=\${date}\")\n")
foreach(case "86399=1970-01-01" "1700000000=2023-11-14")
  string(REPLACE "=" ";" parts ${case})
  list(GET parts 0 epoch)
  list(GET parts 1 expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch} TZ=Asia/Tokyo
                          ${CMAKE_COMMAND} -P ${SCRATCH}/date.cmake
                  ERROR_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "date=${expected}\n")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH=${epoch} gave '${out}', expected ${expected}")
  endif()
endforeach()

# This build's pages: the source with the header line stamped, every other line kept.
if(NOT DATE MATCHES "^[0-9][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]$")
  message(FATAL_ERROR "the build's release date '${DATE}' is not YYYY-MM-DD")
endif()
foreach(program ${programs})
  set(built ${BUILT_DIR}/${program}.1)
  if(NOT EXISTS ${built})
    message(FATAL_ERROR "the build made no man page ${built}")
  endif()
  stamp(${SOURCE_DIR}/man/${program}.1 ${SCRATCH}/${program}.1 ${VERSION} ${DATE} rc err)
  file(READ ${SCRATCH}/${program}.1 want)
  file(READ ${built} got)
  if(NOT rc EQUAL 0 OR NOT got STREQUAL want)
    message(FATAL_ERROR "${built} is not ${program}.1 stamped with ${VERSION}, ${DATE}")
  endif()
  string(TOUPPER ${program} upper)
  if(NOT got MATCHES "\n?\\.TH ${upper} 1 \"${DATE}\" \"Tallimor ${VERSION}\"")
    message(FATAL_ERROR "${built} lacks the header .TH ${upper} 1 \"${DATE}\" \"Tallimor ${VERSION}\"")
  endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
list(LENGTH programs count)
message(STATUS "${count} man pages stamped Tallimor ${VERSION}, ${DATE}")
