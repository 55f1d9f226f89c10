# lumo_guest_library(TARGET): TARGET is a DLL that Windows maps into other
# people's processes, so it links no C or C++ runtime and no thread library:
# no TLS callbacks at every thread start, no exception handler or heap of
# theirs in the host, no code at load but its own entry point, DllMain. It
# imports only the kernel and user libraries; the compilers' own helpers
# (stack probes, 64-bit division on 32-bit) come from libgcc. Unwind tables
# stay: a host's exception may have to unwind through its frames. Shipped
# without symbols.
function(lumo_guest_library target)
  target_compile_options(${target} PUBLIC
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>)
  if(LUMO_BITS EQUAL 32)
    set(entry _DllMain@12)
  else()
    set(entry DllMain)
  endif()
  target_link_options(${target} PUBLIC -nostdlib -Wl,-e,${entry} -s)
  target_link_libraries(${target} PUBLIC kernel32 user32 gcc)
endfunction()
