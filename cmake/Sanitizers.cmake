if(VX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # The checks' static data holds millions of pointers: as a position-independent
  # executable each test process spent about half its start relocating them, and
  # the suites start some fifteen hundred processes.
  add_link_options("$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-no-pie>")
elseif(VX_SANITIZE STREQUAL "fuzzer")
  # clang's libFuzzer: every object carries the fuzzer's coverage and the
  # ASan/UBSan checks; only the fuzz targets link the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  # The clang of the build machines (14) lacks std::source_location.
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-include${CMAKE_CURRENT_LIST_DIR}/compat/source_location.h>")
  add_link_options(-fsanitize=address,undefined)
elseif(VX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VX_SANITIZE must be address, thread, fuzzer or empty")
endif()
