# pixman is built from Debian's pristine source with its own meson build,
# as a static library with one object section per function, compiled as the
# guests' code is (cmake/guest_library.cmake says what a guest keeps and
# why), since the hook libraries link its region code.
include(ExternalProject)

file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/pixman.pin pixmanPin REGEX "^PIXMAN_[A-Z0-9]+=")
foreach(entry IN LISTS pixmanPin)
  string(REGEX MATCH "^([A-Z0-9_]+)=(.*)$" entry "${entry}")
  set(${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/pixman.pin)
set(PIXMAN_TARBALL "${CMAKE_SOURCE_DIR}/build/downloads/pixman_${PIXMAN_VERSION}.orig.tar.gz"
    CACHE FILEPATH "pixman source tarball (scripts/fetch-pixman.sh fetches it)")

if(NOT EXISTS "${PIXMAN_TARBALL}")
  message(FATAL_ERROR "pixman source not found at ${PIXMAN_TARBALL}; run scripts/fetch-pixman.sh")
endif()

# Always built with MinGW-w64's GCC, also in the Clang trees: they are
# there to try our own code with a second compiler.
find_program(MESON_EXECUTABLE meson REQUIRED)
list(TRANSFORM LUMO_GUEST_CODE_FLAGS PREPEND "'" OUTPUT_VARIABLE guestFlags)
list(TRANSFORM guestFlags APPEND "'")
list(JOIN guestFlags ", " PIXMAN_GUEST_FLAGS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/pixman-cross.ini.in
               ${CMAKE_BINARY_DIR}/pixman-cross.ini @ONLY)

set(PIXMAN_PREFIX ${CMAKE_BINARY_DIR}/deps/pixman)
set(PIXMAN_LIBRARY ${PIXMAN_PREFIX}/lib/libpixman-1.a)

# pixman's meson build marks every function dllexport even in a static
# build; the export directives live in the objects' .drectve sections and
# would make each DLL linking pixman export all of it, so they are removed.
# Its one constructor (.ctors) picks the compositing implementations and so
# keeps all of them alive in the hook libraries, which use only the region
# code; without it each hook library shrinks by some 550 KB.
ExternalProject_Add(pixman_build
  URL "${PIXMAN_TARBALL}"
  URL_HASH SHA256=${PIXMAN_SHA256}
  DOWNLOAD_EXTRACT_TIMESTAMP TRUE
  PREFIX ${CMAKE_BINARY_DIR}/deps/pixman-build
  CONFIGURE_COMMAND ${CMAKE_COMMAND} -E rm -rf <BINARY_DIR>/meson
    COMMAND ${MESON_EXECUTABLE} setup
    --cross-file ${CMAKE_BINARY_DIR}/pixman-cross.ini
    --prefix ${PIXMAN_PREFIX} --libdir lib
    --buildtype release -Ddefault_library=static
    -Dtests=disabled -Dgtk=disabled -Dlibpng=disabled -Dopenmp=disabled
    -Dmmx=disabled -Dsse2=disabled -Dssse3=disabled
    <BINARY_DIR>/meson <SOURCE_DIR>
  BUILD_COMMAND ${MESON_EXECUTABLE} compile -C <BINARY_DIR>/meson
  INSTALL_COMMAND ${MESON_EXECUTABLE} install --quiet -C <BINARY_DIR>/meson
  LOG_CONFIGURE TRUE LOG_BUILD TRUE LOG_INSTALL TRUE LOG_OUTPUT_ON_FAILURE TRUE)
# A step of its own that names the archive as its product, so that whatever
# links it is relinked whenever it changes.
ExternalProject_Add_Step(pixman_build trim
  COMMAND ${CMAKE_OBJCOPY} --remove-section=.drectve --remove-section=.ctors ${PIXMAN_LIBRARY}
  DEPENDEES install
  BYPRODUCTS ${PIXMAN_LIBRARY})

# A change of the cross file (flags, tools) builds pixman again; a change of
# this file at least installs and trims it again.
ExternalProject_Add_StepDependencies(pixman_build configure ${CMAKE_BINARY_DIR}/pixman-cross.ini)
ExternalProject_Add_StepDependencies(pixman_build install ${CMAKE_CURRENT_LIST_FILE})

file(MAKE_DIRECTORY ${PIXMAN_PREFIX}/include/pixman-1)
add_library(pixman::pixman STATIC IMPORTED GLOBAL)
set_target_properties(pixman::pixman PROPERTIES
  IMPORTED_LOCATION ${PIXMAN_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${PIXMAN_PREFIX}/include/pixman-1)
add_dependencies(pixman::pixman pixman_build)

