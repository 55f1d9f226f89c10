# cmake -P: takes pixman's region object out of its archive for the hook
# libraries, which link no C runtime, without the two functions that reach
# beyond the region code: the debugging print (the C library's stdio) and
# the region made from an image (pixman's image code). The names those
# leave behind are stripped, so that no linker asks for them.
#   -DAR= -DOBJCOPY= -DARCHIVE= -DOUTPUT=
get_filename_component(work "${OUTPUT}" DIRECTORY)
set(member pixman-region16.c.obj)
execute_process(COMMAND "${AR}" x "${ARCHIVE}" ${member} WORKING_DIRECTORY "${work}"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(
  COMMAND "${OBJCOPY}" --remove-section=.text$pixman_region_print
          --remove-section=.text$pixman_region_init_from_image
          --remove-section=.text$fprintf --remove-section=.text$fprintf.constprop.0
          --strip-unneeded ${member} "${OUTPUT}"
  WORKING_DIRECTORY "${work}" COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE "${work}/${member}")
