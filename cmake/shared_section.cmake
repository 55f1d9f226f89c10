# lumo_shared_section(TARGET): the library's ".shared" section (see
# paintwatch/shared_section.h) is shared between processes also when Clang
# compiles it; GCC marks it from the source.
function(lumo_shared_section target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # One argument to the linker: -Wl, would split it at the comma.
    target_link_options(${target} PRIVATE "SHELL:-Xlinker -Xlink=-section:.shared,RWS")
  endif()
endfunction()
