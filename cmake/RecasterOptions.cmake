# Compiler settings shared by every target of the project.

if(RECASTER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# Warnings are errors in our own code; third-party headers come in as system headers.
function(recaster_set_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
