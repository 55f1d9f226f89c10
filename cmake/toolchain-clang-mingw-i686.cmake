set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
set(MESON_CPU_FAMILY x86)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw-common.cmake)
