# MinGW-w64 cross compilers (posix thread model); every Windows program runs
# under Wine through the launcher.
set(CMAKE_C_COMPILER ${YNB_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${YNB_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${YNB_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${YNB_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${YNB_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
