# The plugins' version, from one place: the project's VERSION, followed by
# the commit as build metadata ("1.0.0+g1a2b3c4d5e") unless HEAD carries the
# tag v<VERSION>. Read when CMake configures, which ./test.sh and
# ./release.sh do at every run. Sets ZVM_VERSION_TEXT and ZVM_COMMIT
# ("unknown" outside a git checkout) and writes generated/zvm_version.h for
# the sources.
execute_process(COMMAND git rev-parse HEAD WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                OUTPUT_VARIABLE ZVM_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE failed ERROR_QUIET)
if(failed)
  set(ZVM_COMMIT unknown)
endif()
execute_process(COMMAND git tag --points-at HEAD --list v${PROJECT_VERSION}
                WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE tag
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(tag)
  set(ZVM_VERSION_TEXT ${PROJECT_VERSION})
elseif(failed)
  set(ZVM_VERSION_TEXT ${PROJECT_VERSION}+unknown)
else()
  string(SUBSTRING ${ZVM_COMMIT} 0 10 short)
  set(ZVM_VERSION_TEXT ${PROJECT_VERSION}+g${short})
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/zvm_version.h.in
               ${CMAKE_BINARY_DIR}/generated/zvm_version.h @ONLY)
