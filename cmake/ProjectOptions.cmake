# Warnings and sanitizers for the project's own targets only; third-party code
# (Qt, QCustomPlot, GoogleTest) keeps its own flags.

function(propagon_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(PROPAGON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(PROPAGON_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(PROPAGON_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT PROPAGON_SANITIZE STREQUAL "")
  message(FATAL_ERROR "PROPAGON_SANITIZE must be empty, 'address' or 'thread'")
endif()
