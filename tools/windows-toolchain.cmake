# Cross-builds the Windows tool, mozaik32.exe, with Debian's mingw-w64
# (g++-mingw-w64-x86-64-posix; `make windows` installs it):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=tools/windows-toolchain.cmake
# The test programs run under Wine (`make windows-test`).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MOZAIK_MINGW x86_64-w64-mingw32)
# The posix flavour: its C++ runtime has std::thread, which GoogleTest uses.
set(CMAKE_C_COMPILER ${MOZAIK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MOZAIK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${MOZAIK_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MOZAIK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# CTest starts the test programs (and lists their tests) through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
