# Programs find the libraries and helpers they load beside themselves. The
# copies are made whenever a source changes, not only when the consumer
# relinks, so that no consumer runs with a stale copy.

# The file name a target builds, from its properties as they are now.
function(lumo_output_name target variable)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(${variable} ${name}${CMAKE_EXECUTABLE_SUFFIX} PARENT_SCOPE)
    return()
  endif()
  get_target_property(prefix ${target} PREFIX)
  if(prefix STREQUAL "prefix-NOTFOUND")
    set(prefix ${CMAKE_SHARED_LIBRARY_PREFIX})
  endif()
  set(${variable} ${prefix}${name}${CMAKE_SHARED_LIBRARY_SUFFIX} PARENT_SCOPE)
endfunction()

# lumo_copy_beside(CONSUMER TARGET[:NAME]...)
# copies each target's file (as NAME where given) into the current binary
# folder, where CONSUMER is built, before CONSUMER is built.
function(lumo_copy_beside consumer)
  set(outputs)
  foreach(entry IN LISTS ARGN)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 target)
    lumo_output_name(${target} name)
    list(LENGTH parts count)
    if(count GREATER 1)
      list(GET parts 1 name)
    endif()
    get_target_property(home ${target} BINARY_DIR)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${name})
    # Built here already.
    if(home STREQUAL CMAKE_CURRENT_BINARY_DIR AND count EQUAL 1)
      add_dependencies(${consumer} ${target})
      continue()
    endif()
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${output}
      DEPENDS ${target})
    list(APPEND outputs ${output})
  endforeach()
  if(outputs)
    add_custom_target(${consumer}_beside DEPENDS ${outputs})
    add_dependencies(${consumer} ${consumer}_beside)
  endif()
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
