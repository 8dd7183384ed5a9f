# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Copies the man page INPUT to OUTPUT with its header line carrying this release: the date
# (DATE) and the source field ("Tallimor VERSION") of `.TH NAME SECTION "date" "source"
# ...`. Every other line is copied as it is. A page without such a header line is an
# error: it would be installed with the version and date it happens to hold.
# Run with: cmake -DINPUT=<page> -DOUTPUT=<page> -DVERSION=<x.y.z> -DDATE=<YYYY-MM-DD> -P StampManPage.cmake
foreach(var INPUT OUTPUT VERSION DATE)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "StampManPage: ${var} is not set")
  endif()
endforeach()

file(READ ${INPUT} text)
set(header_rx "(^|\n)\\.TH +([^ \n]+) +([^ \n]+) +\"[^\"\n]*\" +\"[^\"\n]*\"")
if(NOT text MATCHES "${header_rx}")
  message(FATAL_ERROR "${INPUT}: no header line of the form .TH NAME SECTION \"date\" \"source\"")
endif()
# Only the first header line is the page's; REGEX REPLACE would change every one.
string(FIND "${text}" "${CMAKE_MATCH_0}" at)
string(LENGTH "${CMAKE_MATCH_0}" length)
math(EXPR after "${at} + ${length}")
string(SUBSTRING "${text}" 0 ${at} before_header)
string(SUBSTRING "${text}" ${after} -1 after_header)
set(header "${CMAKE_MATCH_1}.TH ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} \"${DATE}\" \"Tallimor ${VERSION}\"")
file(WRITE ${OUTPUT}.tmp "${before_header}${header}${after_header}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
