# SPDX-License-Identifier: GPL-3.0-or-later
# The layer map: for each library under src/, the libraries it may use and the
# Qt modules it may use. The libraries link from this list
# (lentora_layer_link); at the end of the configuration, once every folder
# (tests, benchmarks) has had its say, every library's links are checked
# against it; and the include_layers test checks every include and every
# CMakeLists against it, so the map cannot drift from the build.
#
# lentora_layer(<folder> [USES <libraries>] [QT <modules>] [SYSTEM <targets>]
#               [MIN_FILES <n>] [LIBRARY] [SEALED])
#
# <folder> is a library (a folder under src/) or a folder inside one
# ("platform/linux"): a folder may use what its library may use and what its
# own entry adds. Qt modules and system libraries that only a private folder
# may use are linked privately, so that no layer above can reach them. MIN_FILES is a floor on the
# files the check must find there, so that a check that found nothing fails.
# Lower it only when a library truly shrinks.
# LIBRARY: the folder is a library of its own (lentora_<library>_<folder>),
# which its library links privately, so that the compiler holds it to its
# own entry: it sees no include path of what only its sibling folders may use.
# SEALED: the library passes on nothing it uses, Qt included: a layer above
# sees its headers but none of the headers they include, so it can compile
# only those that need nothing below (the compiler rejects the others).
set(LENTORA_LAYERS)
set(LENTORA_QT_MODULES)

macro(lentora_layer folder)
  cmake_parse_arguments(_layer "LIBRARY;SEALED" "MIN_FILES" "USES;QT;SYSTEM" ${ARGN})
  list(APPEND LENTORA_LAYERS ${folder})
  set(LENTORA_LAYER_USES_${folder} ${_layer_USES})
  set(LENTORA_LAYER_QT_${folder} ${_layer_QT})
  set(LENTORA_LAYER_SYSTEM_${folder} ${_layer_SYSTEM})
  set(LENTORA_LAYER_MIN_FILES_${folder} ${_layer_MIN_FILES})
  set(LENTORA_LAYER_LIBRARY_${folder} ${_layer_LIBRARY})
  set(LENTORA_LAYER_SEALED_${folder} ${_layer_SEALED})
  list(APPEND LENTORA_QT_MODULES ${_layer_QT})
  list(REMOVE_DUPLICATES LENTORA_QT_MODULES)
endmacro()

# From the bottom up; a library may use only libraries listed above it.
lentora_layer(platform                 SYSTEM Threads::Threads MIN_FILES 12)
# The portable parts (the store's text format, command splitting): no system
# library and no Qt on their include path.
lentora_layer(platform/common LIBRARY MIN_FILES 6)
# The desktop's services (real-time rights, the user's service manager) are
# reached over D-Bus with sd-bus, whose every wait has a limit of ours.
lentora_layer(platform/linux SYSTEM PkgConfig::libsystemd MIN_FILES 20)
lentora_layer(cmdline                  MIN_FILES 5)
lentora_layer(engine   USES platform   MIN_FILES 12)
lentora_layer(cpuid    USES platform   MIN_FILES 5)
lentora_layer(launch   USES platform QT Core MIN_FILES 7)
lentora_layer(widgets  QT Core Gui Widgets MIN_FILES 9)
# The toolkit's own threads are started here: Qt's D-Bus thread is the one the
# notification area and the menus use. The program reaches the shell only
# through its entry (shell/run.h), so the shell passes on nothing it uses.
lentora_layer(shell    USES widgets launch engine cpuid cmdline platform QT Core Gui Widgets DBus SEALED MIN_FILES 22)
lentora_layer(app      USES shell MIN_FILES 1)

# The target that a library's folder builds: its library's, or its own for a
# folder that is a LIBRARY.
function(lentora_layer_target folder out)
  string(REGEX MATCH "^[^/]+" library "${folder}")
  if(folder STREQUAL "app")
    set(name lentora)
  elseif(LENTORA_LAYER_LIBRARY_${folder})
    string(REPLACE "/" "_" name "lentora_${folder}")
  else()
    set(name lentora_${library})
  endif()
  set(${out} ${name} PARENT_SCOPE)
endfunction()

# The entries of the map that build a target: the libraries and the folders
# that are libraries of their own.
function(lentora_layer_targets out)
  set(entries)
  foreach(folder ${LENTORA_LAYERS})
    if(NOT folder MATCHES "/" OR LENTORA_LAYER_LIBRARY_${folder})
      list(APPEND entries ${folder})
    endif()
  endforeach()
  set(${out} ${entries} PARENT_SCOPE)
endfunction()

# What an entry that builds a target links: <public>, what it may use and
# pass on (its library's and its own USES, QT and SYSTEM), and <private>,
# what only its folders may use (their Qt modules and system libraries, and
# the targets of the folders that are libraries of their own).
function(lentora_layer_allowed folder public_out private_out)
  string(REGEX MATCH "^[^/]+" library "${folder}")
  set(entries ${library})
  if(NOT folder STREQUAL library)
    list(APPEND entries ${folder})
  endif()
  set(public)
  foreach(entry ${entries})
    foreach(used ${LENTORA_LAYER_USES_${entry}})
      lentora_layer_target(${used} name)
      list(APPEND public ${name})
    endforeach()
    foreach(module ${LENTORA_LAYER_QT_${entry}})
      list(APPEND public Qt6::${module})
    endforeach()
    list(APPEND public ${LENTORA_LAYER_SYSTEM_${entry}})
  endforeach()
  set(private)
  if(folder STREQUAL library)
    foreach(inner ${LENTORA_LAYERS})
      if(NOT inner MATCHES "^${library}/")
        continue()
      elseif(LENTORA_LAYER_LIBRARY_${inner})
        lentora_layer_target(${inner} name)
        list(APPEND private ${name})
      else()
        foreach(module ${LENTORA_LAYER_QT_${inner}})
          list(APPEND private Qt6::${module})
        endforeach()
        list(APPEND private ${LENTORA_LAYER_SYSTEM_${inner}})
      endif()
    endforeach()
  endif()
  list(REMOVE_DUPLICATES public)
  list(REMOVE_DUPLICATES private)
  if(public)
    list(REMOVE_ITEM private ${public})
  endif()
  set(${public_out} ${public} PARENT_SCOPE)
  set(${private_out} ${private} PARENT_SCOPE)
endfunction()

# The Qt modules an entry's target may link, as the messages say them.
function(lentora_layer_qt folder out)
  lentora_layer_allowed(${folder} public private)
  set(modules)
  foreach(item ${public} ${private})
    if(item MATCHES "^Qt6::(.+)$")
      list(APPEND modules ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${out} ${modules} PARENT_SCOPE)
endfunction()

# Links the library (or LIBRARY folder) <folder> with exactly what the map
# allows it.
function(lentora_layer_link folder)
  lentora_layer_targets(entries)
  if(NOT folder IN_LIST entries)
    message(FATAL_ERROR "${folder} is not a library of the layer map (cmake/layers.cmake)")
  endif()
  lentora_layer_target(${folder} target)
  lentora_layer_allowed(${folder} public private)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE" OR LENTORA_LAYER_SEALED_${folder})
    target_link_libraries(${target} PRIVATE ${public} ${private})
  else()
    target_link_libraries(${target} PUBLIC ${public} PRIVATE ${private})
  endif()
endfunction()

# A source of <target> outside <folder> (or inside one of its folders that
# is a library of its own); generated files in the build tree are the
# target's own.
function(lentora_layer_foreign_source folder target source out)
  get_target_property(base ${target} SOURCE_DIR)
  cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${base} NORMALIZE OUTPUT_VARIABLE file)
  cmake_path(IS_PREFIX CMAKE_BINARY_DIR ${file} NORMALIZE generated)
  set(home ${PROJECT_SOURCE_DIR}/src/${folder})
  cmake_path(IS_PREFIX home ${file} NORMALIZE inside)
  foreach(inner ${LENTORA_LAYERS})
    set(library ${PROJECT_SOURCE_DIR}/src/${inner})
    cmake_path(IS_PREFIX library ${file} NORMALIZE within)
    if(inner MATCHES "^${folder}/" AND LENTORA_LAYER_LIBRARY_${inner} AND within)
      set(inside FALSE)
    endif()
  endforeach()
  if(source MATCHES "\\$<" OR NOT (generated OR inside))
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# At the end of the configuration, after every folder (tests and benchmarks
# too) is done: fails when a library links anything that the map does not
# give it, however it was added (a second target_link_libraries, a name built
# in a variable, a generator expression, a link from another folder, a
# property set by hand), or builds a file of another folder.
function(lentora_layer_verify)
  lentora_layer_targets(entries)
  set(faults)
  foreach(folder ${entries})
    lentora_layer_target(${folder} target)
    if(NOT TARGET ${target})
      list(APPEND faults "${target}: missing, though the layer map lists src/${folder}")
      continue()
    endif()
    lentora_layer_allowed(${folder} public private)
    set(allowed ${public} ${private})
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(items ${target} ${property})
      foreach(item ${items})
        # A link made from another folder is bracketed by markers of that folder.
        if(item MATCHES "^::@" OR item STREQUAL "items-NOTFOUND")
          continue()
        endif()
        string(REGEX REPLACE "^\\$<LINK_ONLY:([^$<>]*)>$" "\\1" name "${item}")
        if(NOT name IN_LIST allowed)
          string(REPLACE ";" " " given "${allowed}")
          list(APPEND faults "${target} links ${item}, but the layer map gives src/${folder} only: ${given}")
        endif()
      endforeach()
    endforeach()
    get_target_property(sources ${target} SOURCES)
    foreach(source ${sources})
      lentora_layer_foreign_source(${folder} ${target} "${source}" foreign)
      if(foreign)
        list(APPEND faults "${target} builds ${source}, which is not in src/${folder}")
      endif()
    endforeach()
  endforeach()
  if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "The build breaks the layer map:\n  ${text}")
  endif()
  message(STATUS "The links of the ${CMAKE_PROJECT_NAME} libraries keep to the layer map")
endfunction()

# Run once the top-level folder, and everything it adds, is done.
if(NOT CMAKE_SCRIPT_MODE_FILE)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL lentora_layer_verify)
endif()
