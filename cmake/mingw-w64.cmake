# Cross-build for Windows with Debian's MinGW-w64; included by the per-architecture
# toolchain files, which set PELKOR_MINGW_TRIPLET. The -posix compilers have the POSIX
# thread model that std::thread and std::mutex need; the win32 model has neither.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${PELKOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELKOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELKOR_MINGW_TRIPLET}-windres)
set(CMAKE_NM ${PELKOR_MINGW_TRIPLET}-nm)
set(CMAKE_DLLTOOL ${PELKOR_MINGW_TRIPLET}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${PELKOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
