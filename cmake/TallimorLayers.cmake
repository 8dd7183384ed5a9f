# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Each folder's headers as an include root of their own, so that the compiler enforces
# the layers of scripts/layers.txt.
#
# With the whole source tree on every include path any source could include any folder,
# and a wrong-way include compiled; only scripts/check-layout noticed it. Instead every
# folder F gets a directory include/<F, with _ for />/ in the build tree holding a single
# symbolic link, named by F's path, to F in the source tree (include/hotsync_pdb/hotsync/pdb
# -> <source>/hotsync/pdb). Includes keep their "F/..." form, and a target finds F's
# headers only when it has F's root: a library gives it to itself and, through its PUBLIC
# links, to the folders above it, never to the folders below or beside it. Nested folders
# (hotsync/plugin, hotsync/manager) are separate roots, so one never brings the other.

# Sets <out> to the include root of <folder>, creating it (at configure time) if needed.
function(tallimor_folder_include_root folder out)
  if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
    message(FATAL_ERROR "tallimor_folder_include_root: no folder ${folder} in the source tree")
  endif()
  string(REPLACE "/" "_" name ${folder})
  set(root ${PROJECT_BINARY_DIR}/include/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# tallimor_folder_includes(<target> [PUBLIC|PRIVATE|INTERFACE] <folder>...)
# Puts the include roots of the folders on <target>'s include path: PUBLIC (the default)
# for a folder's library, INTERFACE for a header-only one, PRIVATE for tests and programs
# that need a folder's headers without linking its library.
function(tallimor_folder_includes target)
  set(folders ${ARGN})
  set(scope PUBLIC)
  list(GET folders 0 first)
  if(first MATCHES "^(PUBLIC|PRIVATE|INTERFACE)$")
    set(scope ${first})
    list(REMOVE_AT folders 0)
  endif()
  foreach(folder IN LISTS folders)
    tallimor_folder_include_root(${folder} root)
    target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${root}>)
  endforeach()
endfunction()
