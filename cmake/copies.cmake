# Programs find the libraries and helpers they load beside themselves. The
# copies are made whenever a source changes, not only when the consumer
# relinks, so that no consumer runs with a stale copy.

# lumo_copy_beside(CONSUMER TARGET[:NAME]...)
# copies each target's file (as NAME where given) into CONSUMER's folder
# before CONSUMER is built.
function(lumo_copy_beside consumer)
  set(commands)
  set(targets)
  foreach(entry IN LISTS ARGN)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 target)
    set(destination $<TARGET_FILE_DIR:${consumer}>)
    list(LENGTH parts count)
    if(count GREATER 1)
      list(GET parts 1 name)
      set(destination $<TARGET_FILE_DIR:${consumer}>/${name})
    endif()
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
         $<TARGET_FILE:${target}> ${destination})
    list(APPEND targets ${target})
  endforeach()
  add_custom_target(${consumer}_beside ${commands} DEPENDS ${targets} VERBATIM)
  add_dependencies(${consumer} ${consumer}_beside)
endfunction()

# lumo_copy_i686_products(CONSUMER PATH[:NAME]...)
# The 64-bit tree ships and tests programs of the 32-bit tree: copies each
# PATH, relative to the 32-bit tree, into the current binary folder (as NAME
# where given) before CONSUMER is built.
function(lumo_copy_i686_products consumer)
  set(outputs)
  foreach(entry IN LISTS ARGN)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 path)
    get_filename_component(name "${path}" NAME)
    list(LENGTH parts count)
    if(count GREATER 1)
      list(GET parts 1 name)
    endif()
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${name})
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E copy ${LUMO_I686_DIR}/${path} ${output}
      DEPENDS ${LUMO_I686_DIR}/${path})
    list(APPEND outputs ${output})
  endforeach()
  add_custom_target(${consumer}_i686_products DEPENDS ${outputs})
  add_dependencies(${consumer} ${consumer}_i686_products)
endfunction()
