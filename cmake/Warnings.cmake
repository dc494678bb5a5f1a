# Warnings are errors for the project's own code.
function(nubeko_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wshadow
                                              -Wnon-virtual-dtor -Werror)
  endif()
endfunction()
