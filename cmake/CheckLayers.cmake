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

file(GLOB_RECURSE sources RELATIVE "${ROOT}"
  "${ROOT}/platform/*.h" "${ROOT}/platform/*.cpp"
  "${ROOT}/Ornwick/*.h" "${ROOT}/Ornwick/*.cpp"
  "${ROOT}/Vortanex/*.h" "${ROOT}/Vortanex/*.cpp")

set(violations 0)
foreach(src IN LISTS sources)
  layer_of_file("${src}" own)
  file(STRINGS "${ROOT}/${src}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(inc "${CMAKE_MATCH_1}")
      layer_of_include("${inc}" theirs)
      # A bare header name in the program is one of the library's, except a
      # folder's own neighbour, which the path rule already covers.
      if(theirs EQUAL 2 AND NOT src MATCHES "^Ornwick/" AND own LESS 2)
        message("${src}: ${inc} is the library's; the platform layer cannot include it")
        math(EXPR violations "${violations} + 1")
      elseif(theirs GREATER own)
        message("${src}: includes ${inc}, a higher layer")
        math(EXPR violations "${violations} + 1")
      endif()
    elseif(own EQUAL 0 AND line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)")
      message("${src}: includes <${CMAKE_MATCH_1}>; the platform core is Qt-free")
      math(EXPR violations "${violations} + 1")
    endif()
  endforeach()
endforeach()

list(LENGTH sources count)
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} upward include(s) in ${count} files")
endif()
message(STATUS "Layers hold: ${count} files checked")
