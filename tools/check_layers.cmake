# Fails when an engine folder includes a header of a folder above it.
#
# The engine's folders in order, lowest first. A header in a folder may include headers
# of its own folder and of folders earlier in this list only. A .cpp file may in
# addition include "sim/sim.h", through which every object reaches its simulation, and
# nothing else that is later in the list. Every folder under ENGINE_DIR must be listed.
set(layers
  core          # object framework, value streams, ports, hooks, time formats
  display       # what every layer draws and reports with: palette, labels, options
  interlocking  # circuits, points, signals, subroutes, routes, overlaps
  places        # entry points, locations, paths
  timetable
  trains
  ars
  phone
  panel         # the operator's screen, commands and messages
  assess
  persist
  net
  sim           # the simulation object that owns every list
  area          # building a simulation from an area's description
  runner        # headless running and tools
)

if(NOT ENGINE_DIR)
  message(FATAL_ERROR "check_layers.cmake: pass -DENGINE_DIR=<folder>")
endif()

file(GLOB_RECURSE files RELATIVE "${ENGINE_DIR}"
  "${ENGINE_DIR}/*.h" "${ENGINE_DIR}/*.cpp" "${ENGINE_DIR}/*.inc")
set(bad "")
foreach(rel IN LISTS files)
  if(NOT rel MATCHES "^([^/]+)/")
    continue()  # a file directly under ENGINE_DIR belongs to no layer
  endif()
  set(folder "${CMAKE_MATCH_1}")
  list(FIND layers "${folder}" own)
  if(own EQUAL -1)
    list(APPEND bad "${rel}: folder '${folder}' is not in the layer table: add it to tools/check_layers.cmake in its place")
    continue()
  endif()
  file(STRINGS "${ENGINE_DIR}/${rel}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "\"(([^\"/]+)/[^\"]+)\"")
      continue()  # same folder, or a generated header without a folder
    endif()
    set(target "${CMAKE_MATCH_1}")
    set(target_folder "${CMAKE_MATCH_2}")
    list(FIND layers "${target_folder}" their)
    if(their EQUAL -1)
      if(IS_DIRECTORY "${ENGINE_DIR}/${target_folder}")
        list(APPEND bad "${rel}: includes \"${target}\" of folder '${target_folder}', which is not in the layer table: add it to tools/check_layers.cmake in its place")
      endif()
      continue()  # not an engine folder
    endif()
    if(their LESS_EQUAL own)
      continue()
    endif()
    if(rel MATCHES "\\.cpp$" AND target STREQUAL "sim/sim.h")
      continue()
    endif()
    list(APPEND bad "${rel}: includes \"${target}\", but '${target_folder}' is above '${folder}'")
  endforeach()
endforeach()

if(bad)
  # One unwrapped line per fault, so that each can be read and matched whole.
  foreach(fault IN LISTS bad)
    message(NOTICE "${fault}")
  endforeach()
  list(LENGTH bad count)
  message(FATAL_ERROR "Engine folders include only lower folders: ${count} fault(s) above.")
endif()
