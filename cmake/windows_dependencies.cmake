# RapidJSON and libyaml for the Windows builds, which cannot use the build
# machine's /usr/include or its Linux libyaml.

# RapidJSON is headers only; a folder of its own keeps the build machine's C
# headers out of the Windows compiler's search path.
find_path(ZVM_RAPIDJSON_PARENT rapidjson/reader.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/rapidjson)
file(CREATE_LINK ${ZVM_RAPIDJSON_PARENT}/rapidjson ${CMAKE_BINARY_DIR}/rapidjson/rapidjson
     SYMBOLIC)
set(RAPIDJSON_INCLUDE_DIR ${CMAKE_BINARY_DIR}/rapidjson)
# Every target sees them, as on Linux, where they are on the default path.
include_directories(SYSTEM ${RAPIDJSON_INCLUDE_DIR})

# libyaml from Debian's source package, which setup.sh unpacks under
# build/sources, built by its own CMake project as a static library.
file(GLOB ZVM_YAML_SOURCE_DIR LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/build/sources/libyaml-*)
if(NOT ZVM_YAML_SOURCE_DIR)
  message(FATAL_ERROR "libyaml sources missing under build/sources: run ./setup.sh")
endif()
list(GET ZVM_YAML_SOURCE_DIR -1 ZVM_YAML_SOURCE_DIR)
set(BUILD_TESTING OFF CACHE BOOL "libyaml's own tests" FORCE)
add_subdirectory(${ZVM_YAML_SOURCE_DIR} ${CMAKE_BINARY_DIR}/libyaml EXCLUDE_FROM_ALL SYSTEM)
set(YAML_LIBRARY yaml)
