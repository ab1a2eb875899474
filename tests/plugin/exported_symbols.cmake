# Checks that a plugin library exports exactly the one entry, under its
# undecorated name. Run as (zvm_add_plugin adds it as the test
# <library>_exports):
#   cmake -DLIBRARY=<path> -DEXPORT=<symbol> [-DOBJDUMP=<objdump>] -P exported_symbols.cmake
# A Windows DLL's export table is read with OBJDUMP -p, a shared object's
# dynamic symbol table with nm -D.
if(OBJDUMP)
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  # Both tables list one entry a line, each line starting with a tab:
  # "\t[   0] +base[   1] 1370 Export RVA" and "\t[   0] load_qor_email_verification".
  # An export by ordinal alone has an address but no name.
  string(REGEX MATCH "Export Address Table -- [^\n]*\n(\t[^\n]*\n)*" addresses "${table}")
  string(REGEX MATCHALL "\n\t" addresses "${addresses}")
  list(LENGTH addresses count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${count} exports in ${LIBRARY}")
  endif()
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t[^\n]*\n)*" names "${table}")
  string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" names "${names}")
  list(TRANSFORM names REPLACE "^\t\\[ *[0-9]+\\] " "")
else()
  execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  string(REGEX MATCHALL "[^\n]+" lines "${table}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^.* " "" name "${line}")
    list(APPEND names ${name})
  endforeach()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read the exports of ${LIBRARY}")
endif()
if(NOT names STREQUAL EXPORT)
  message(FATAL_ERROR "exported symbols: ${names}")
endif()
