# What both Windows builds share; the including toolchain file sets
# ZVM_MINGW_TARGET (the MinGW-w64 target triple) first.
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model gives std::thread and std::mutex their Windows bodies.
set(CMAKE_C_COMPILER ${ZVM_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZVM_MINGW_TARGET}-g++-posix)
set(CMAKE_FIND_ROOT_PATH /usr/${ZVM_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtimes are linked in, so the DLL and the test programs
# need none of MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
