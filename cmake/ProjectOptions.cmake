# Warnings and sanitizers for the project's own targets only; third-party code
# (Qt, QCustomPlot, GoogleTest) keeps its own flags.

function(propagon_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(PROPAGON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Fuzzing: every object carries the coverage hooks of libFuzzer and the
# address and undefined-behaviour checks; only the fuzz targets link the
# fuzzer's main.
if(PROPAGON_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PROPAGON_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  if(NOT PROPAGON_SANITIZE STREQUAL "")
    message(FATAL_ERROR "PROPAGON_FUZZ brings its own sanitizers; leave PROPAGON_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(PROPAGON_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(PROPAGON_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT PROPAGON_SANITIZE STREQUAL "")
  message(FATAL_ERROR "PROPAGON_SANITIZE must be empty, 'address' or 'thread'")
endif()
