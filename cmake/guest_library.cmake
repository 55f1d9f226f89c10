# What a guest keeps: a DLL that Windows maps into other people's processes
# (the hook library, its test copy, the minimal hook DLL it is measured
# against). Decided here once; pixman's build (cmake/pixman.cmake) follows.
#
# - No runtime. No C or C++ runtime and no thread library: no TLS callbacks
#   at every thread start, no exception handler or heap of theirs in the
#   host, no code at load but its own entry point, DllMain. Imports only the
#   kernel and user libraries; the compilers' own helpers (64-bit division
#   on 32-bit) come from libgcc.
# - Unwind data, on x64 for every function, pixman's too. The system's
#   exception dispatch, a debugger, a crash dump, a profiler and an event
#   trace all walk a host's stack through our frames, and a frame without
#   an entry is taken for a leaf whose return address is at the stack
#   pointer: the walk reads garbage from there on, past the host's own
#   handlers. 32-bit exception handling is frame-based and nothing would
#   register DWARF tables in a guest, so the 32-bit build carries none.
# - No stack probe. libgcc's ___chkstk_ms has no unwind entry, and the
#   compilers call it for a frame of about a page (GCC from some 4000
#   bytes, Clang from 4096). A frame is limited to 2048 bytes as the
#   compilers count it, which leaves room for what they leave out (saved
#   registers, outgoing arguments, alignment), and arrays of run-time size
#   are refused. pixman's build, whose compositing code has larger frames,
#   goes without: the unwind coverage test finds the probe in an image.
# - Of pixman, only the region functions the guest's objects reach, each
#   with its unwind data (lumo_guest_pixman_region). Neither linker can be
#   left to drop the rest: GNU ld keeps every unwind section and with it the
#   code it covers, and lld does not collect GCC's function sections.
# - Symbols. Compiled with -g (which changes no code); the image ships
#   stripped, with a CodeView entry that names its build (GNU ld's build id)
#   and a debug link to IMAGE.debug beside it, which keeps the DWARF apart.
if(LUMO_BITS EQUAL 64)
  set(LUMO_GUEST_UNWIND -fasynchronous-unwind-tables)
else()
  set(LUMO_GUEST_UNWIND -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()
set(LUMO_GUEST_CODE_FLAGS -g ${LUMO_GUEST_UNWIND})
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(LUMO_GUEST_FRAME_LIMIT -Werror=frame-larger-than=2048)
else()
  set(LUMO_GUEST_FRAME_LIMIT -Wframe-larger-than=2048 -Werror=frame-larger-than)
endif()

# lumo_guest_code(TARGET): TARGET's code is a guest's (TARGET may be an
# object library that guests link).
function(lumo_guest_code target)
  target_compile_options(${target} PUBLIC ${LUMO_GUEST_CODE_FLAGS} ${LUMO_GUEST_FRAME_LIMIT}
    -Werror=vla $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>)
endfunction()

# lumo_guest_library(TARGET): TARGET is a guest DLL.
function(lumo_guest_library target)
  lumo_guest_code(${target})
  if(LUMO_BITS EQUAL 32)
    set(entry _DllMain@12)
  else()
    set(entry DllMain)
  endif()
  target_link_options(${target} PRIVATE -nostdlib -Wl,-e,${entry})
  target_link_libraries(${target} PRIVATE kernel32 user32 gcc)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_link_options(${target} PRIVATE -Wl,--build-id)
  endif()
  set(image $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${image} ${image}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${image}.debug ${image}
    VERBATIM)
endfunction()

# lumo_guest_pixman_region(OBJECTS): the object target OBJECTS_pixman, which
# holds pixman's region code cut down to what OBJECTS' code reaches, for
# the guests that link OBJECTS (cmake/pixman-guest-region.cmake).
function(lumo_guest_pixman_region objects)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${objects}-pixman-region.obj)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DAR=${CMAKE_AR} -DNM=${CMAKE_NM} -DOBJDUMP=${CMAKE_OBJDUMP}
            -DOBJCOPY=${CMAKE_OBJCOPY} -DARCHIVE=${PIXMAN_LIBRARY}
            "-DUSERS=$<TARGET_OBJECTS:${objects}>" -DOUTPUT=${output}
            -P ${PROJECT_SOURCE_DIR}/cmake/pixman-guest-region.cmake
    DEPENDS $<TARGET_OBJECTS:${objects}> ${PIXMAN_LIBRARY}
            ${PROJECT_SOURCE_DIR}/cmake/pixman-guest-region.cmake
    COMMENT "Cutting pixman's region code down to what ${objects} reaches"
    VERBATIM)
  add_custom_target(${objects}_pixman_cut DEPENDS ${output})
  add_dependencies(${objects}_pixman_cut pixman_build)
  add_library(${objects}_pixman OBJECT IMPORTED GLOBAL)
  set_target_properties(${objects}_pixman PROPERTIES IMPORTED_OBJECTS ${output})
  add_dependencies(${objects}_pixman ${objects}_pixman_cut)
  add_dependencies(${objects} pixman_build)
  target_include_directories(${objects} PUBLIC ${PIXMAN_PREFIX}/include/pixman-1)
endfunction()
