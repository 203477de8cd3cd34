# Cross-building for 64-bit Windows with Debian's MinGW-w64. The posix thread
# model is the one with std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARNEL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VARNEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARNEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VARNEL_MINGW}-windres)

# The MinGW builds of libxml2, GoogleTest and Qt made by scripts/windows-deps.sh.
set(VARNEL_WINDOWS_DEPS "$ENV{VARNEL_WINDOWS_DEPS}" CACHE PATH "Folder holding the MinGW builds of the dependencies")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VARNEL_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${VARNEL_MINGW} ${VARNEL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the .exe programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
