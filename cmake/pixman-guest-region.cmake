cmake_minimum_required(VERSION 3.25)
# cmake -P: pixman's region object cut down to what the guest's own objects
# reach (cmake/guest_library.cmake says why). A function section is kept
# when a kept section refers to it, starting from the names the guest's
# objects leave undefined; a function's unwind sections go with it. The
# debugging sections stay whole: their references to cut code are left
# pointing nowhere by objcopy, and the linker does the same for what it
# drops. The undefined names only cut code used are stripped, so that no
# linker asks for them.
#   -DAR= -DNM= -DOBJDUMP= -DOBJCOPY= -DARCHIVE= -DUSERS=a.obj;b.obj -DOUTPUT=
set(member pixman-region16.c.obj)
get_filename_component(work "${OUTPUT}" DIRECTORY)
set(object "${work}/${member}")

function(run_tool outVar)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE output COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" lines "${output}")
  set(${outVar} "${lines}" PARENT_SCOPE)
endfunction()

# A section's or symbol's name as a variable name: they hold '$' and '.'.
function(key outVar name)
  string(MAKE_C_IDENTIFIER "${name}" k)
  set(${outVar} "k_${k}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND "${AR}" x "${ARCHIVE}" ${member} WORKING_DIRECTORY "${work}"
                COMMAND_ERROR_IS_FATAL ANY)

# Sections by number, as the symbol table counts them (from 1).
run_tool(headers "${OBJDUMP}" -h "${object}")
set(sections "")
foreach(line IN LISTS headers)
  if(line MATCHES "^ *([0-9]+) ([^ ]+) ")
    math(EXPR number "${CMAKE_MATCH_1} + 1")
    set(section_${number} "${CMAKE_MATCH_2}")
    list(APPEND sections "${CMAKE_MATCH_2}")
  endif()
endforeach()

# Every defined symbol, section symbols included, to the section it is in.
run_tool(symbols "${OBJDUMP}" -t "${object}")
foreach(line IN LISTS symbols)
  if(line MATCHES "^\\[ *[0-9]+\\]\\(sec +([1-9][0-9]*)\\).* 0x[0-9a-f]+ (.+)$")
    key(k "${CMAKE_MATCH_2}")
    set(${k}_section "${section_${CMAKE_MATCH_1}}")
  endif()
endforeach()

# What each section refers to.
run_tool(relocations "${OBJDUMP}" -r "${object}")
foreach(line IN LISTS relocations)
  if(line MATCHES "^RELOCATION RECORDS FOR \\[(.+)\\]:$")
    key(from "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^[0-9a-f]+ +[^ ]+ +([^ +]+)")
    list(APPEND ${from}_refers "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(pending "")
foreach(user IN LISTS USERS)
  run_tool(undefined "${NM}" -u --format=just-symbols "${user}")
  list(APPEND pending ${undefined})
endforeach()
set(kept "")
set(used "")
while(pending)
  list(POP_FRONT pending name)
  key(k "${name}")
  if(NOT DEFINED ${k}_section)
    list(APPEND used "${name}")
    continue()
  endif()
  set(section "${${k}_section}")
  if(section IN_LIST kept)
    continue()
  endif()
  list(APPEND kept "${section}")
  key(s "${section}")
  list(APPEND pending ${${s}_refers})
  if(section MATCHES "^\\.text\\$(.+)$")
    foreach(unwind .pdata .xdata)
      if("${unwind}$${CMAKE_MATCH_1}" IN_LIST sections)
        list(APPEND pending "${unwind}$${CMAKE_MATCH_1}")
      endif()
    endforeach()
  endif()
endwhile()

set(cuts "")
foreach(section IN LISTS sections)
  if(section MATCHES "\\$" AND NOT section IN_LIST kept)
    list(APPEND cuts "--remove-section=${section}")
  endif()
endforeach()
run_tool(undefined "${NM}" -u --format=just-symbols "${object}")
foreach(name IN LISTS undefined)
  if(NOT name IN_LIST used)
    list(APPEND cuts "--strip-symbol=${name}")
  endif()
endforeach()
execute_process(COMMAND "${OBJCOPY}" ${cuts} "${object}" "${OUTPUT}" COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE "${object}")
