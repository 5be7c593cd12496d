# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a library includes a library it may not use, so that every
# include points down the layer map below and the graph has no circle:
#
#   app      -> shell, widgets, launch, engine, cpuid, cmdline, platform
#   shell    -> widgets, launch, engine, cpuid, cmdline, platform
#   launch   -> engine, platform
#   engine   -> platform
#   cpuid    -> platform
#   widgets  -> (Qt only)
#   cmdline  -> (nothing)
#   platform -> (the system only)
#
# Also fails on an include that climbs out of its folder ("../"), on an
# include of the test doubles, and on a library that exports more than its
# own include/ folder (an include path to src/ or a parent folder).
#
# Usage: cmake -DSOURCE_DIR=<the project's root> -P include_layers.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(libraries platform cmdline engine cpuid launch widgets shell app)
set(uses_platform)
set(uses_cmdline)
set(uses_widgets)
set(uses_engine platform)
set(uses_cpuid platform)
set(uses_launch engine platform)
set(uses_shell widgets launch engine cpuid cmdline platform)
set(uses_app shell widgets launch engine cpuid cmdline platform)

set(faults)
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp)
foreach(file ${files})
  string(REGEX MATCH "^[^/]+" library "${file}")
  if(NOT library IN_LIST libraries)
    list(APPEND faults "src/${file}: the folder ${library} is not in the layer map")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" target "${line}")
    if(target MATCHES "(^|/)\\.\\./")
      list(APPEND faults "src/${file}: includes ${target}, outside its own folder")
    endif()
    if(NOT target MATCHES "/")
      continue()
    endif()
    string(REGEX MATCH "^[^/]+" used "${target}")
    if(used STREQUAL "fakes")
      list(APPEND faults "src/${file}: includes the test double ${target}")
    elseif(used IN_LIST libraries AND NOT used STREQUAL library AND NOT used IN_LIST uses_${library})
      list(APPEND faults "src/${file}: ${library} includes ${target}, but may use only: ${uses_${library}}")
    endif()
  endforeach()
endforeach()

file(GLOB_RECURSE lists ${SOURCE_DIR}/src/CMakeLists.txt)
foreach(list ${lists})
  file(STRINGS ${list} exports REGEX "target_include_directories")
  foreach(line ${exports})
    if(line MATCHES "PUBLIC" AND line MATCHES "(\\.\\.|PROJECT_SOURCE_DIR|CMAKE_SOURCE_DIR)")
      file(RELATIVE_PATH name ${SOURCE_DIR} ${list})
      list(APPEND faults "${name}: exports more than its own include folder: ${line}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the layer map:\n  ${text}")
endif()
list(LENGTH files count)
message(STATUS "${count} files under src/ include only what their layer may use")
