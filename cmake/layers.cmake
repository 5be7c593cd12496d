# SPDX-License-Identifier: GPL-3.0-or-later
# The layer map: for each library under src/, the libraries it may use and the
# Qt modules it may use. The libraries link from this list
# (lentora_layer_link) and the include_layers test checks every include and
# every CMakeLists against it, so the map cannot drift from the build.
#
# lentora_layer(<folder> [USES <libraries>] [QT <modules>] [SYSTEM <targets>] [MIN_FILES <n>])
#
# <folder> is a library (a folder under src/) or a folder inside one
# ("platform/linux"): a folder may use what its library may use and what its
# own entry adds. Qt modules and system libraries that only a private folder
# may use are linked privately, so that no layer above can reach them. MIN_FILES is a floor on the
# files the check must find there, so that a check that found nothing fails.
# Lower it only when a library truly shrinks.

set(LENTORA_LAYERS)
set(LENTORA_QT_MODULES)

macro(lentora_layer folder)
  cmake_parse_arguments(_layer "" "MIN_FILES" "USES;QT;SYSTEM" ${ARGN})
  list(APPEND LENTORA_LAYERS ${folder})
  set(LENTORA_LAYER_USES_${folder} ${_layer_USES})
  set(LENTORA_LAYER_QT_${folder} ${_layer_QT})
  set(LENTORA_LAYER_SYSTEM_${folder} ${_layer_SYSTEM})
  set(LENTORA_LAYER_MIN_FILES_${folder} ${_layer_MIN_FILES})
  list(APPEND LENTORA_QT_MODULES ${_layer_QT})
  list(REMOVE_DUPLICATES LENTORA_QT_MODULES)
endmacro()

# From the bottom up; a library may use only libraries listed above it.
lentora_layer(platform                 SYSTEM Threads::Threads MIN_FILES 12)
# The desktop's services (real-time rights, the user's service manager) are
# reached over D-Bus with sd-bus, whose every wait has a limit of ours. The
# toolkit's own threads are started here: Qt's D-Bus thread is the one the
# notification area and the menus use.
lentora_layer(platform/linux QT Core DBus SYSTEM PkgConfig::libsystemd MIN_FILES 20)
lentora_layer(cmdline                  MIN_FILES 5)
lentora_layer(engine   USES platform   MIN_FILES 12)
lentora_layer(cpuid    USES platform   MIN_FILES 5)
lentora_layer(launch   USES platform QT Core MIN_FILES 7)
lentora_layer(widgets  QT Core Gui Widgets MIN_FILES 9)
lentora_layer(shell    USES widgets launch engine cpuid cmdline platform QT Core Gui Widgets MIN_FILES 22)
lentora_layer(app      USES shell widgets QT Core Gui Widgets MIN_FILES 1)

# The target that a library's folder builds.
function(lentora_layer_target layer out)
  if(layer STREQUAL "app")
    set(${out} lentora PARENT_SCOPE)
  else()
    set(${out} lentora_${layer} PARENT_SCOPE)
  endif()
endfunction()

# The Qt modules that the library's folders below its own (such as
# platform/linux) add to the library's own.
function(lentora_layer_private_qt layer out)
  set(modules)
  foreach(folder ${LENTORA_LAYERS})
    if(folder MATCHES "^${layer}/")
      list(APPEND modules ${LENTORA_LAYER_QT_${folder}})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES modules)
  list(REMOVE_ITEM modules ${LENTORA_LAYER_QT_${layer}})
  set(${out} ${modules} PARENT_SCOPE)
endfunction()

# The system libraries that the library's folders below its own add: linked
# privately, as their Qt modules are.
function(lentora_layer_private_system layer out)
  set(targets)
  foreach(folder ${LENTORA_LAYERS})
    if(folder MATCHES "^${layer}/")
      list(APPEND targets ${LENTORA_LAYER_SYSTEM_${folder}})
    endif()
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Links the library <layer> with exactly what the map allows it.
function(lentora_layer_link layer)
  if(NOT layer IN_LIST LENTORA_LAYERS OR layer MATCHES "/")
    message(FATAL_ERROR "${layer} is not a library of the layer map (cmake/layers.cmake)")
  endif()
  lentora_layer_target(${layer} target)
  set(public)
  foreach(used ${LENTORA_LAYER_USES_${layer}})
    lentora_layer_target(${used} name)
    list(APPEND public ${name})
  endforeach()
  foreach(module ${LENTORA_LAYER_QT_${layer}})
    list(APPEND public Qt6::${module})
  endforeach()
  list(APPEND public ${LENTORA_LAYER_SYSTEM_${layer}})
  lentora_layer_private_qt(${layer} private_modules)
  list(TRANSFORM private_modules PREPEND Qt6::)
  lentora_layer_private_system(${layer} private_system)
  list(APPEND private_modules ${private_system})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_libraries(${target} PRIVATE ${public} ${private_modules})
  else()
    target_link_libraries(${target} PUBLIC ${public} PRIVATE ${private_modules})
  endif()
endfunction()

# At configure time, after every library is defined: fails when a library
# links anything of ours or of Qt that the map does not allow, however it was
# added (a second target_link_libraries, a property set by hand).
function(lentora_layer_verify)
  foreach(layer ${LENTORA_LAYERS})
    if(layer MATCHES "/")
      continue()
    endif()
    lentora_layer_target(${layer} target)
    lentora_layer_private_qt(${layer} allowed_qt)
    list(APPEND allowed_qt ${LENTORA_LAYER_QT_${layer}})
    get_target_property(direct ${target} LINK_LIBRARIES)
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    foreach(item ${direct} ${interface})
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
      if(item MATCHES "^Qt6::(.+)$" AND NOT CMAKE_MATCH_1 IN_LIST allowed_qt)
        message(FATAL_ERROR "${target} links ${item}; the layer map allows ${layer} Qt: ${allowed_qt}")
      elseif(item MATCHES "^lentora_?(.*)$")
        set(used ${CMAKE_MATCH_1})
        if(NOT used IN_LIST LENTORA_LAYER_USES_${layer})
          message(FATAL_ERROR "${target} links ${item}; the layer map allows ${layer}: "
                              "${LENTORA_LAYER_USES_${layer}}")
        endif()
      endif()
    endforeach()
  endforeach()
endfunction()
