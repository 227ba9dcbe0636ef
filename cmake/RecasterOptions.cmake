# Compiler settings shared by every target of the project.

option(RECASTER_WERROR "Treat compiler warnings in our own code as errors (scripts/test.sh and CI turn it on)" OFF)

if(RECASTER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# Every warning in our own code, as an error with RECASTER_WERROR; third-party headers come in as
# system headers.
function(recaster_set_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(RECASTER_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
