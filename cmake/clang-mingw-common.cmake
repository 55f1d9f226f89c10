# Shared by both Clang toolchain files: Debian's clang and lld for the
# MinGW-w64 targets, with the C++ library, runtime and headers of MinGW-w64's
# GCC (posix thread model), which clang does not find by itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR ${MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJCOPY ${MINGW_TRIPLE}-objcopy CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(gccDir /usr/lib/gcc/${MINGW_TRIPLE}/12-posix)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${gccDir}/include/c++ -isystem ${gccDir}/include/c++/${MINGW_TRIPLE}")
# GCC's posix thread model links winpthread by itself; lld finds symbols
# in archives whatever their place on the command line.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gccDir} -lpthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gccDir} -lpthread")
