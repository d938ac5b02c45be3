# Compiler warnings every target of the project builds with.
add_library(pellumo_warnings INTERFACE)
target_compile_options(pellumo_warnings INTERFACE -Wall -Wextra)

# Applies the project warnings to a target.
function(pellumo_warnings target)
  target_link_libraries(${target} PRIVATE pellumo_warnings)
endfunction()
