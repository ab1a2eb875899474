# What both Windows builds share; the including toolchain file sets
# ZVM_MINGW_TARGET (the MinGW-w64 target triple) first.
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model gives std::thread and std::mutex their Windows bodies.
set(CMAKE_C_COMPILER ${ZVM_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZVM_MINGW_TARGET}-g++-posix)
# Compiles the plugin DLLs' version resources.
set(CMAKE_RC_COMPILER ${ZVM_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZVM_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtimes are linked in, so the test programs need none of
# MinGW's DLLs beside them (zvm_add_plugin does the same for the DLLs).
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
