# Writes the symbols a shared library defines for others, as a list for the
# linker's --dynamic-list option:
#   cmake -DNM=<nm> -DLIBRARY=<library.so> -DLIST=<output> -P ExportList.cmake
execute_process(COMMAND "${NM}" --dynamic --defined-only "${LIBRARY}"
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} could not read ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(list "{\n")
foreach(line IN LISTS lines)
  # "<address> <kind> <name>": the loader's own entry points stay out.
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${line}")
  if(NOT name STREQUAL "_init" AND NOT name STREQUAL "_fini")
    string(APPEND list "  \"${name}\";\n")
  endif()
endforeach()
string(APPEND list "};\n")
file(WRITE "${LIST}.new" "${list}")
# Unchanged, the list keeps its time, and the program is not linked again.
file(COPY_FILE "${LIST}.new" "${LIST}" ONLY_IF_DIFFERENT)
file(REMOVE "${LIST}.new")
