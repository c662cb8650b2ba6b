# Fails when a lower layer includes a higher one. Run as
#   cmake -DROOT=<tree> -P CheckLayers.cmake
# The layers, lowest first; a file may include its own layer and any lower
# one. Paths in quoted includes are relative to the layer roots
# (Vortanex/, platform/).
#   platform/pf          pf/...              (no Qt)
#   platform/ui          ui/...
#   Ornwick              the library's own headers
#   Vortanex/app/base    app/base/...
#   Vortanex/watch/base  watch/base/...
#   Vortanex/server      server/...
#   Vortanex/frame       frame/... (frame/controls/ included)
#   windows              watch/..., orders/..., positions/..., market/...
#   application          app/... and main.cpp
# The window folders (watch/ without watch/base/, orders/, positions/,
# market/) share a layer but not their windows: they open each other through
# the frame's openers. A window folder may include another's header only when
# it is a record (a header that includes no Qt, ui/, frame/, library or
# application header and no window header, whatever its folder), and the
# folders' includes, records too, never go round in a circle.
if(NOT ROOT)
  message(FATAL_ERROR "CheckLayers: pass -DROOT=<source tree>")
endif()

function(layer_of_file path out)
  if(path MATCHES "^platform/pf/")
    set(${out} 0 PARENT_SCOPE)
  elseif(path MATCHES "^platform/ui/")
    set(${out} 1 PARENT_SCOPE)
  elseif(path MATCHES "^Ornwick/")
    set(${out} 2 PARENT_SCOPE)
  elseif(path MATCHES "^Vortanex/app/base/")
    set(${out} 10 PARENT_SCOPE)
  elseif(path MATCHES "^Vortanex/watch/base/")
    set(${out} 11 PARENT_SCOPE)
  elseif(path MATCHES "^Vortanex/server/")
    set(${out} 20 PARENT_SCOPE)
  elseif(path MATCHES "^Vortanex/frame/")
    set(${out} 30 PARENT_SCOPE)
  elseif(path MATCHES "^Vortanex/(watch|orders|positions|market)/")
    set(${out} 40 PARENT_SCOPE)
  else()
    set(${out} 50 PARENT_SCOPE)
  endif()
endfunction()

# The layer a quoted include names; -1 for what is not ours (the library's
# headers and generated files count as the library).
function(layer_of_include inc out)
  if(inc MATCHES "^pf/")
    set(${out} 0 PARENT_SCOPE)
  elseif(inc MATCHES "^ui/")
    set(${out} 1 PARENT_SCOPE)
  elseif(inc MATCHES "^app/base/")
    set(${out} 10 PARENT_SCOPE)
  elseif(inc MATCHES "^watch/base/")
    set(${out} 11 PARENT_SCOPE)
  elseif(inc MATCHES "^server/")
    set(${out} 20 PARENT_SCOPE)
  elseif(inc MATCHES "^frame/")
    set(${out} 30 PARENT_SCOPE)
  elseif(inc MATCHES "^(watch|orders|positions|market)/")
    set(${out} 40 PARENT_SCOPE)
  elseif(inc MATCHES "^app/")
    set(${out} 50 PARENT_SCOPE)
  elseif(inc MATCHES "^[A-Za-z0-9_]+\\.h$")
    set(${out} 2 PARENT_SCOPE)
  else()
    set(${out} -1 PARENT_SCOPE)
  endif()
endfunction()

# The window folder of a file or of a quoted include; empty for others.
function(window_folder path out)
  string(REGEX REPLACE "^Vortanex/" "" path "${path}")
  set(${out} "" PARENT_SCOPE)
  if(path MATCHES "^watch/base/")
    return()
  endif()
  if(path MATCHES "^(watch|orders|positions|market)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE sources RELATIVE "${ROOT}"
  "${ROOT}/platform/*.h" "${ROOT}/platform/*.cpp"
  "${ROOT}/Ornwick/*.h" "${ROOT}/Ornwick/*.cpp"
  "${ROOT}/Vortanex/*.h" "${ROOT}/Vortanex/*.cpp")

# Every file's include lines, read once.
foreach(src IN LISTS sources)
  file(STRINGS "${ROOT}/${src}" "lines_${src}" REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
endforeach()

# Whether a window folder's header (a quoted include path) is a record: it
# exists, and every include of it is the standard library's, the platform
# core's, the base's, the server's or another record. A header met again
# while it is being judged counts as a record: a circle of headers decides
# nothing by itself.
function(is_record inc out)
  get_property(known GLOBAL PROPERTY "record_${inc}" SET)
  if(known)
    get_property(verdict GLOBAL PROPERTY "record_${inc}")
    set(${out} ${verdict} PARENT_SCOPE)
    return()
  endif()
  set(file "Vortanex/${inc}")
  if(NOT inc MATCHES "\\.h$" OR NOT DEFINED "lines_${file}")
    set_property(GLOBAL PROPERTY "record_${inc}" FALSE)
    set(${out} FALSE PARENT_SCOPE)
    return()
  endif()
  set_property(GLOBAL PROPERTY "record_${inc}" TRUE)
  set(verdict TRUE)
  foreach(line IN LISTS "lines_${file}")
    if(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)")
      set(verdict FALSE)
    elseif(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(theirs "${CMAKE_MATCH_1}")
      window_folder("${theirs}" folder)
      if(folder)
        is_record("${theirs}" nested)
        if(NOT nested)
          set(verdict FALSE)
        endif()
      elseif(NOT theirs MATCHES "^(pf|app/base|watch/base|server)/")
        set(verdict FALSE)
      endif()
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY "record_${inc}" ${verdict})
  set(${out} ${verdict} PARENT_SCOPE)
endfunction()

set(windows watch orders positions market)
set(upward 0)
set(crossing 0)
foreach(src IN LISTS sources)
  layer_of_file("${src}" own)
  window_folder("${src}" ownFolder)
  foreach(line IN LISTS "lines_${src}")
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(inc "${CMAKE_MATCH_1}")
      layer_of_include("${inc}" theirs)
      # A bare header name in the program is one of the library's, except a
      # folder's own neighbour, which the path rule already covers.
      if(theirs EQUAL 2 AND NOT src MATCHES "^Ornwick/" AND own LESS 2)
        message("${src}: ${inc} is the library's; the platform layer cannot include it")
        math(EXPR upward "${upward} + 1")
      elseif(theirs GREATER own)
        message("${src}: includes ${inc}, a higher layer")
        math(EXPR upward "${upward} + 1")
      elseif(ownFolder)
        window_folder("${inc}" folder)
        if(folder AND NOT folder STREQUAL ownFolder)
          if(NOT DEFINED "edge_${ownFolder}_${folder}")
            set("edge_${ownFolder}_${folder}" "${src} includes ${inc}")
          endif()
          is_record("${inc}" record)
          if(NOT record)
            message("${src}: includes ${inc}, a window header of another window folder (open it through frame/)")
            math(EXPR crossing "${crossing} + 1")
          endif()
        endif()
      endif()
    elseif(own EQUAL 0 AND line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)")
      message("${src}: includes <${CMAKE_MATCH_1}>; the platform core is Qt-free")
      math(EXPR upward "${upward} + 1")
    endif()
  endforeach()
endforeach()

# Which window folder reaches which through includes (a transitive closure
# over the four folders).
foreach(f IN LISTS windows)
  foreach(g IN LISTS windows)
    if(DEFINED "edge_${f}_${g}")
      set("reach_${f}_${g}" TRUE)
    else()
      set("reach_${f}_${g}" FALSE)
    endif()
  endforeach()
endforeach()
foreach(k IN LISTS windows)
  foreach(f IN LISTS windows)
    foreach(g IN LISTS windows)
      if(reach_${f}_${k} AND reach_${k}_${g})
        set("reach_${f}_${g}" TRUE)
      endif()
    endforeach()
  endforeach()
endforeach()
# Each circle once: the folders that reach each other, with the includes
# that join them.
set(circles 0)
set(reported "")
foreach(f IN LISTS windows)
  list(FIND reported ${f} seen)
  if(NOT reach_${f}_${f} OR seen GREATER -1)
    continue()
  endif()
  set(members "")
  foreach(g IN LISTS windows)
    if(reach_${f}_${g} AND reach_${g}_${f})
      list(APPEND members ${g})
    endif()
  endforeach()
  set(joints "")
  foreach(a IN LISTS members)
    foreach(b IN LISTS members)
      if(DEFINED "edge_${a}_${b}")
        list(APPEND joints "${edge_${a}_${b}}")
      endif()
    endforeach()
  endforeach()
  list(JOIN members ", " memberText)
  list(JOIN joints "; " jointText)
  message("window folders in a circle: ${memberText} (${jointText})")
  list(APPEND reported ${members})
  math(EXPR circles "${circles} + 1")
endforeach()

list(LENGTH sources count)
if(upward GREATER 0 OR crossing GREATER 0 OR circles GREATER 0)
  message(FATAL_ERROR "${upward} upward include(s), ${crossing} window include(s) across folders "
                      "and ${circles} circle(s) of window folders in ${count} files")
endif()
message(STATUS "Layers hold: ${count} files checked")
