# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# The release date that the installed man pages carry, as YYYY-MM-DD (UTC): the time in
# SOURCE_DATE_EPOCH when it is set, so that a distribution's rebuild gives the same
# pages; else the date of the source tree's last commit; else today.
function(tallimor_release_date out)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    # string(TIMESTAMP) itself reads SOURCE_DATE_EPOCH.
    string(TIMESTAMP date "%Y-%m-%d" UTC)
    set(${out} ${date} PARENT_SCOPE)
    return()
  endif()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                    RESULT_VARIABLE rc OUTPUT_VARIABLE seconds ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(rc EQUAL 0 AND seconds MATCHES "^[0-9]+$")
      set(ENV{SOURCE_DATE_EPOCH} ${seconds})
      string(TIMESTAMP date "%Y-%m-%d" UTC)
      unset(ENV{SOURCE_DATE_EPOCH})
      set(${out} ${date} PARENT_SCOPE)
      return()
    endif()
  endif()
  string(TIMESTAMP date "%Y-%m-%d" UTC)
  set(${out} ${date} PARENT_SCOPE)
endfunction()
