# Cross-compiles Parvane for 64-bit Windows with Debian's mingw-w64 (scripts/build-windows.sh).
# The posix thread model, so that std::thread and std::mutex work; the compiler's runtime linked in
# statically, so that the .exe runs on a Windows machine with nothing installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PARVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PARVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PARVANE_MINGW_PREFIX}-windres)

# Libraries and headers of the target only; programs (the build's own tools) from this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PARVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine on this machine: ctest and GoogleTest's discovery go through it.
find_program(PARVANE_WINE NAMES wine wine64)
if(PARVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PARVANE_WINE})
endif()
