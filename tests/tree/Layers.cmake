# SPDX-License-Identifier: GPL-3.0-or-later
# Holds the code to the layer drawing of docs/ARCHITECTURE.md: a file may
# include only headers of its own module or of modules drawn below it, and a
# target (library, plug-in module or program) links only libraries of its
# own module or drawn below it, higher ones first (the order static linking
# needs).
#
#   cmake -DSOURCE_DIR=<tree with src/> [-DLINKS_FILE=<file>] -P Layers.cmake
#
# LINKS_FILE holds one line per target, "target|folder|library=folder;...",
# folders relative to src/, as the build configured them. Exits with an
# error naming every breach.

# A target that links nothing ends its line with an empty field.
cmake_policy(SET CMP0007 NEW)

# Rank in the drawing; modules of one rank must not use each other.
set(layer_ranks
  platform=0
  core=1
  audio=2 wavefile=2 sequence=2 analysis=2
  plot=3
  ui=4 measure=4
  ui/qt=5 ui/win32=5 cli=5 desk=5)

foreach(entry IN LISTS layer_ranks)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 rank)
  set(rank_of_${name} ${rank})
  list(APPEND known_modules ${name})
endforeach()

# The module a path under src/ (or an include path) belongs to; empty when
# it names none, such as a header beside the including file.
function(module_of path out)
  set(result "")
  foreach(name IN LISTS known_modules)
    string(LENGTH "${name}/" length)
    string(SUBSTRING "${path}" 0 ${length} head)
    if(head STREQUAL "${name}/")
      string(LENGTH "${result}" best)
      string(LENGTH "${name}" this)
      if(this GREATER best)
        set(result ${name})
      endif()
    endif()
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

set(breaches "")
set(files_seen 0)
set(sequence_files 0)

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp"
     "${SOURCE_DIR}/src/*.c")
foreach(source IN LISTS sources)
  module_of("${source}" own)
  if(own STREQUAL "")
    list(APPEND breaches "src/${source}: in no module of the drawing")
    continue()
  endif()
  math(EXPR files_seen "${files_seen} + 1")
  if(own STREQUAL "sequence")
    math(EXPR sequence_files "${sequence_files} + 1")
  endif()
  file(STRINGS "${SOURCE_DIR}/src/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" header "${line}")
    module_of("${header}" used)
    if(used STREQUAL "" OR used STREQUAL own)
      continue()
    endif()
    if(NOT rank_of_${used} LESS rank_of_${own})
      list(APPEND breaches "src/${source} (${own}) includes ${header} (${used})")
    endif()
  endforeach()
endforeach()

if(files_seen EQUAL 0 OR sequence_files EQUAL 0)
  list(APPEND breaches "no sources found under ${SOURCE_DIR}/src/sequence")
endif()

if(DEFINED LINKS_FILE)
  file(STRINGS "${LINKS_FILE}" link_lines)
  list(LENGTH link_lines targets_seen)
  if(targets_seen EQUAL 0)
    list(APPEND breaches "no targets in ${LINKS_FILE}")
  endif()
  foreach(line IN LISTS link_lines)
    string(REPLACE "|" ";" fields "${line}")
    list(GET fields 0 target)
    list(GET fields 1 folder)
    module_of("${folder}/" own)
    if(own STREQUAL "")
      list(APPEND breaches "${target}: in no module of the drawing (src/${folder})")
      continue()
    endif()
    list(LENGTH fields field_count)
    if(field_count LESS 3)
      continue()
    endif()
    list(SUBLIST fields 2 -1 libraries)
    set(previous_rank 99)
    foreach(entry IN LISTS libraries)
      string(REPLACE "=" ";" pair "${entry}")
      list(GET pair 0 library)
      list(GET pair 1 library_folder)
      module_of("${library_folder}/" used)
      if(used STREQUAL "")
        list(APPEND breaches "${target} (${own}) links ${library}, a library of no module of the drawing")
        continue()
      endif()
      if(used STREQUAL own)
        continue()
      endif()
      if(NOT rank_of_${used} LESS rank_of_${own})
        list(APPEND breaches "${target} (${own}) links ${library} (${used}), which is not drawn below it")
      elseif(rank_of_${used} GREATER previous_rank)
        list(APPEND breaches "${target} (${own}) links ${library} after a library drawn below it")
      endif()
      set(previous_rank ${rank_of_${used}})
    endforeach()
  endforeach()
endif()

if(breaches)
  list(JOIN breaches "\n  " text)
  message(FATAL_ERROR "The code does not follow the layer drawing:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files and ${targets_seen} targets follow the layer drawing")
