# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads), static runtime so
# the executables need only the system's DLLs. The libraries built for Windows (scripts/
# windows-deps.sh) lie under $WDRX_WIN_DEPS_PREFIX; zlib comes from Debian's mingw package.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(wdrx_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${wdrx_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${wdrx_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${wdrx_triple}-windres)
set(CMAKE_AR ${wdrx_triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${wdrx_triple}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${wdrx_triple})
if(DEFINED ENV{WDRX_WIN_DEPS_PREFIX})
  list(PREPEND CMAKE_FIND_ROOT_PATH $ENV{WDRX_WIN_DEPS_PREFIX})
  # pkg-config sees only the Windows libraries, never the build machine's.
  set(ENV{PKG_CONFIG_LIBDIR} $ENV{WDRX_WIN_DEPS_PREFIX}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
  unset(ENV{PKG_CONFIG_SYSROOT_DIR})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
