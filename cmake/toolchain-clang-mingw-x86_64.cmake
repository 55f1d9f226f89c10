set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MESON_CPU_FAMILY x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw-common.cmake)
