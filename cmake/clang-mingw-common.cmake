# Shared by both Clang toolchain files: Debian's clang and lld for the
# MinGW-w64 targets, with the C++ library, runtime and headers of MinGW-w64's
# GCC (posix thread model), which clang does not find by itself. Everything
# else is as in the GCC toolchain.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLE})

set(gccDir /usr/lib/gcc/${MINGW_TRIPLE}/12-posix)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${gccDir}/include/c++ -isystem ${gccDir}/include/c++/${MINGW_TRIPLE}")
# GCC's posix thread model links winpthread by itself; lld finds symbols
# in archives whatever their place on the command line.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gccDir} -lpthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gccDir} -lpthread")
