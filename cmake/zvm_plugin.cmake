# zvm_add_plugin(<name> EXPORT <symbol> SOURCES <file>...)
#
# Makes the plugin library <name> (no "lib" prefix: <name>.so, <name>.dll)
# the way the client loads one: <symbol> is its one export (a version script
# on Linux, a .def file on Windows, both generated here), every allocation of
# the library is counted by the allocation hooks, and the library carries its
# own C and C++ runtime, so that nothing of the host's is interposed and a
# Windows DLL needs none of MinGW's DLLs beside it. On Windows the DLL also
# gets a version resource with the project's version. The sources usually
# hold only the export; the plugin itself is a static library they link.
#
# The library is one of the target zvm_plugins, which builds every plugin.
# The test <name>_exports checks that the library exports nothing else. The
# export's name is kept in the target property ZVM_PLUGIN_EXPORT, for
# the tests and hosts that load the library:
#   $<TARGET_PROPERTY:<name>,ZVM_PLUGIN_EXPORT>
add_custom_target(zvm_plugins)

function(zvm_add_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 plugin "" "EXPORT" "SOURCES")
  if(NOT plugin_EXPORT OR NOT plugin_SOURCES OR plugin_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "usage: zvm_add_plugin(<name> EXPORT <symbol> SOURCES <file>...)")
  endif()
  add_library(${name} SHARED ${plugin_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" ZVM_PLUGIN_EXPORT ${plugin_EXPORT})
  target_compile_options(${name} PRIVATE ${ZVM_WARNINGS})
  target_link_libraries(${name} PRIVATE zvm_plugin_library)
  add_dependencies(zvm_plugins ${name})

  # The generated files, beside the library.
  set(stem ${CMAKE_CURRENT_BINARY_DIR}/${name})
  if(WIN32)
    file(CONFIGURE OUTPUT ${stem}.def CONTENT "EXPORTS\n  ${plugin_EXPORT}\n")
    set(ZVM_PLUGIN_NAME ${name})
    configure_file(${CMAKE_SOURCE_DIR}/cmake/plugin_version.rc.in ${stem}-version.rc @ONLY)
    target_sources(${name} PRIVATE ${stem}.def ${stem}-version.rc)
    target_link_options(${name} PRIVATE -static)
  else()
    file(CONFIGURE OUTPUT ${stem}.map
         CONTENT "{\n  global: ${plugin_EXPORT};\n  local: *;\n};\n")
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${stem}.map)
    target_link_options(${name} PRIVATE -Wl,--version-script=${stem}.map -static-libstdc++
                        -static-libgcc)
  endif()
  zvm_count_allocations(${name})
  if(NOT ZVM_SANITIZE AND NOT ZVM_FUZZ AND NOT ZVM_TSAN)
    # Sanitizer runtimes are provided by the host executable.
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()

  add_test(NAME ${name}_exports COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${name}>
           -DEXPORT=${plugin_EXPORT} $<$<BOOL:${WIN32}>:-DOBJDUMP=${CMAKE_OBJDUMP}>
           -P ${CMAKE_SOURCE_DIR}/tests/plugin/exported_symbols.cmake)
endfunction()

# zvm_count_allocations(<target>): the C allocation routines the target calls
# go through the allocation hooks (plugin/library/allocation_hooks.cc), which
# it links, as a plugin library's do.
function(zvm_count_allocations target)
  if(WIN32)
    # The C runtime DLL's strdup allocates where the hooks cannot see, so they
    # replace it. Its aligned routines free only what they allocated: left
    # alone, they stay out of the counters on both sides.
    set(wrapped malloc calloc realloc free strdup _strdup)
  else()
    set(wrapped malloc calloc realloc free strdup aligned_alloc posix_memalign)
  endif()
  list(TRANSFORM wrapped PREPEND "-Wl,--wrap=")
  target_link_options(${target} PRIVATE ${wrapped})
endfunction()

# zvm_plugin_test(<target> <plugin>): the program <target> loads the library
# of <plugin> as the host does; ZVM_PLUGIN_LIBRARY and ZVM_PLUGIN_EXPORT name
# the library's file and export, and the library is built first.
function(zvm_plugin_test target plugin)
  target_compile_definitions(${target} PRIVATE ZVM_PLUGIN_LIBRARY="$<TARGET_FILE:${plugin}>"
    ZVM_PLUGIN_EXPORT="$<TARGET_PROPERTY:${plugin},ZVM_PLUGIN_EXPORT>")
  add_dependencies(${target} ${plugin})
endfunction()
