# Warnings for the project's own targets; VX_WERROR makes them errors.
function(vx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # Optimised, GCC 12 warns of overlapping copies inside std::string's own
  # concatenation (sizes near SIZE_MAX that cannot occur, in the standard
  # library's headers): a false positive known of that release only.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
     AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(VX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
