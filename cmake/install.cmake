# One prefix a consumer uses as is: headers under include/lumo, the support
# library, the damage tracker with the region code and pixman archive it
# links, the frame builder, the screen source, and the 64-bit hook library,
# with their CMake targets; both hook
# DLLs and the tools in bin; and a package configuration for
# find_package(lumo CONFIG).
include(CMakePackageConfigHelpers)
include(GNUInstallDirs)

set(LUMO_INCLUDE_ROOT ${CMAKE_INSTALL_INCLUDEDIR}/lumo)
set(LUMO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/lumo)

foreach(folder util storage server win)
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
    # Each folder's seam of replaceable platform calls is for its tests only.
    install(DIRECTORY ${folder}/ DESTINATION ${LUMO_INCLUDE_ROOT}/${folder}
            FILES_MATCHING PATTERN "*.h" PATTERN "platform_seam.h" EXCLUDE)
  endif()
endforeach()
# Only the parts a report's receiver and the tracker's user need. Region and
# pixman stay inside the hook library and the tracker: their archives come
# along for the tracker to link, their headers do not, since the tracker's
# header only names Region. How window changes are found is the tracker's
# own affair too.
install(FILES region/rect.h DESTINATION ${LUMO_INCLUDE_ROOT}/region)
install(FILES paintwatch/paintwatch.h paintwatch/report.h
        DESTINATION ${LUMO_INCLUDE_ROOT}/paintwatch)
install(FILES damage/damage_tracker.h damage/desktop_source.h damage/system_desktop.h
        DESTINATION ${LUMO_INCLUDE_ROOT}/damage)
install(FILES source/screen_source.h DESTINATION ${LUMO_INCLUDE_ROOT}/source)
install(FILES frames/changed_areas.h frames/frame_builder.h frames/gdi_screen_capture.h
              frames/pixel_image.h frames/screen_capture.h frames/watched_places.h
        DESTINATION ${LUMO_INCLUDE_ROOT}/frames)

# An imported target cannot be exported, so the package describes the
# archive itself (lumoConfig.cmake.in). Without its constructor
# (cmake/pixman.cmake) the archive serves the region code only: a name of
# its own keeps it from standing in for a real pixman in a shared prefix.
set(LUMO_PIXMAN_ARCHIVE ${CMAKE_INSTALL_LIBDIR}/liblumo_pixman.a)
cmake_path(GET LUMO_PIXMAN_ARCHIVE FILENAME pixmanArchiveName)
install(FILES ${PIXMAN_LIBRARY} DESTINATION ${CMAKE_INSTALL_LIBDIR} RENAME ${pixmanArchiveName})
target_link_libraries(lumo_region PUBLIC $<INSTALL_INTERFACE:lumo::pixman>)
# pixman's licence asks that its notice travel with copies of it.
ExternalProject_Get_Property(pixman_build SOURCE_DIR)
install(FILES ${SOURCE_DIR}/COPYING DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lumo
        RENAME pixman-COPYING)

target_include_directories(paintwatch INTERFACE $<INSTALL_INTERFACE:${LUMO_INCLUDE_ROOT}>)
install(TARGETS lumo_support lumo_damage lumo_frames lumo_source lumo_region paintwatch EXPORT lumoTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${LUMO_INCLUDE_ROOT})
install(TARGETS paintmonitor paintdemo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The screen source behind a C interface, for servers built with other
# compilers: the DLL, its import library, its export list (from which their
# own tools make an import library) and its C header.
install(FILES source/screen_source_c.h DESTINATION ${LUMO_INCLUDE_ROOT}/source)
install(TARGETS lumo_source_c EXPORT lumoTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${LUMO_INCLUDE_ROOT})
install(FILES ${CMAKE_BINARY_DIR}/source/lumo_source.def DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The 32-bit products come from their own tree; they are shipped for 32-bit
# loaders only, so no CMake target describes them. The monitor starts the
# 32-bit loader from beside itself.
install(FILES ${LUMO_I686_DIR}/paintwatch/paintwatch32.dll
              ${LUMO_I686_DIR}/tools/paintloader32.exe ${LUMO_I686_DIR}/tools/paintdemo32.exe
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${LUMO_I686_DIR}/paintwatch/libpaintwatch32.dll.a
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/i686 OPTIONAL)
# The hook libraries' symbol files, where the GNU tools look for an image's
# debug link: a crash in any host is named from them
# (cmake/guest_library.cmake).
install(FILES $<TARGET_FILE:paintwatch>.debug ${LUMO_I686_DIR}/paintwatch/paintwatch32.dll.debug
        DESTINATION ${CMAKE_INSTALL_BINDIR}/.debug)

install(EXPORT lumoTargets NAMESPACE lumo:: DESTINATION ${LUMO_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/lumoConfig.cmake.in
  ${CMAKE_BINARY_DIR}/lumoConfig.cmake INSTALL_DESTINATION ${LUMO_CMAKE_DIR}
  PATH_VARS LUMO_PIXMAN_ARCHIVE)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/lumoConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/lumoConfig.cmake ${CMAKE_BINARY_DIR}/lumoConfigVersion.cmake
        DESTINATION ${LUMO_CMAKE_DIR})
