# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the layer check on a small tree: fixtures/base with one fault planted
# from fixtures/<FIXTURE> (its src/ replaces the base's files, its `remove`
# lists paths to take away). With EXPECT the check must fail and say so;
# without, it must pass (the base itself, so that each fixture fails for its
# own fault and not for the base's).
# With LINKS, configures the project LINKS (link_faults/) instead, with the
# folder <LINKS>/<FIXTURE> planted (none: the project as it is).
#
# Usage: cmake -DCHECK=<include_layers.cmake> -DLAYER_MAP=<map> -DQT_INCLUDE_DIR=<dir>
#              -DFIXTURES=<fixtures folder> -DFIXTURE=<name> -DWORK=<scratch folder>
#              [-DEXPECT=<regex>] -P planted_fault.cmake
#        cmake -DLINKS=<link_faults folder> -DLAYER_MAP=<map> [-DFIXTURE=<name>] -DWORK=<scratch folder>
#              [-DEXPECT=<regex>] -P planted_fault.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
if(LINKS)
  set(planted)
  if(FIXTURE)
    set(planted -DFAULT=${LINKS}/${FIXTURE})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${LINKS} -B ${WORK} -DLAYER_MAP=${LAYER_MAP} ${planted}
                  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
else()
  file(COPY ${FIXTURES}/base/ DESTINATION ${WORK})
  # Copied one by one: file(COPY) skips a file as old as the one it replaces.
  file(GLOB_RECURSE planted RELATIVE ${FIXTURES}/${FIXTURE} ${FIXTURES}/${FIXTURE}/src/*)
  foreach(file ${planted})
    file(COPY_FILE ${FIXTURES}/${FIXTURE}/${file} ${WORK}/${file})
  endforeach()
  if(EXISTS ${FIXTURES}/${FIXTURE}/remove)
    file(STRINGS ${FIXTURES}/${FIXTURE}/remove gone)
    list(TRANSFORM gone PREPEND ${WORK}/)
    file(REMOVE_RECURSE ${gone})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK} -DLAYER_MAP=${LAYER_MAP}
                          -DQT_INCLUDE_DIR=${QT_INCLUDE_DIR} -DMIN_FILES=1 -P ${CHECK}
                  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
endif()
if(NOT EXPECT AND failed)
  message(FATAL_ERROR "The check rejects the fixture ${FIXTURE}, which keeps to the map:\n${output}")
elseif(EXPECT AND NOT failed)
  message(FATAL_ERROR "The check passes the fixture ${FIXTURE}, which it must reject:\n${output}")
elseif(EXPECT AND NOT output MATCHES "${EXPECT}")
  message(FATAL_ERROR "The check rejects ${FIXTURE}, but not for its fault (${EXPECT}):\n${output}")
endif()
message(STATUS "${FIXTURE}: ${output}")
