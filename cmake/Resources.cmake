# Builds image resources into a program or library, the way a resource script
# does on the desktop:
#
#   compat_add_resources(orbweave
#     ICON   128 resources/icon128-16.png
#     ICON   128 resources/icon128-32.png
#     BITMAP 104 resources/splash.png)
#
# Each entry becomes a row of the module's table "compat_resource_table"
# (type, number, bytes, size), which compat's LoadImageW finds through the
# module handle. Several rows may share a type and number: an icon's sizes.
function(compat_add_resources target)
  set(_types CURSOR 1 BITMAP 2 ICON 3)
  set(_asm "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.S")
  set(_blobs "")
  set(_rows "")
  set(_deps "")
  set(_n 0)
  set(_args ${ARGN})
  list(LENGTH _args _len)
  math(EXPR _odd "${_len} % 3")
  if(_len EQUAL 0 OR NOT _odd EQUAL 0)
    message(FATAL_ERROR "compat_add_resources(${target}): give TYPE NUMBER FILE for each resource")
  endif()
  math(EXPR _last "${_len} - 1")
  foreach(i RANGE 0 ${_last} 3)
    math(EXPR _j "${i} + 1")
    math(EXPR _k "${i} + 2")
    list(GET _args ${i} _type)
    list(GET _args ${_j} _id)
    list(GET _args ${_k} _file)
    list(FIND _types ${_type} _pos)
    if(_pos LESS 0)
      message(FATAL_ERROR "compat_add_resources: unknown resource type ${_type}")
    endif()
    math(EXPR _pos "${_pos} + 1")
    list(GET _types ${_pos} _code)
    get_filename_component(_abs "${_file}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
    if(NOT EXISTS "${_abs}")
      # A module without its icon would build and then show none.
      message(FATAL_ERROR "compat_add_resources(${target}): ${_file} is missing"
                          " (scripts/make-icons.sh draws the program's icons)")
    endif()
    list(APPEND _deps "${_abs}")
    string(APPEND _blobs "    .balign 16\nres_${_n}_begin:\n    .incbin \"${_abs}\"\nres_${_n}_end:\n")
    string(APPEND _rows "    .long ${_code}, ${_id}\n    .quad res_${_n}_begin\n    .quad res_${_n}_end - res_${_n}_begin\n")
    math(EXPR _n "${_n} + 1")
  endforeach()
  file(WRITE "${_asm}.in"
"    .section .rodata.compat_resources,\"a\"\n${_blobs}
    .section .data.rel.ro.compat_resources,\"aw\"
    .balign 8
    .globl compat_resource_table
    .type compat_resource_table, @object
compat_resource_table:
${_rows}    .long 0, 0
    .quad 0
    .quad 0
    .size compat_resource_table, . - compat_resource_table
    .section .note.GNU-stack,\"\",@progbits
")
  configure_file("${_asm}.in" "${_asm}" COPYONLY)
  set_source_files_properties("${_asm}" PROPERTIES OBJECT_DEPENDS "${_deps}")
  target_sources(${target} PRIVATE "${_asm}")
  get_target_property(_kind ${target} TYPE)
  if(_kind STREQUAL "EXECUTABLE")
    # A program exports only its resource table, so that the module handle
    # of the program finds it.
    set(_list "${CMAKE_CURRENT_BINARY_DIR}/${target}_exports.list")
    file(WRITE "${_list}" "{ compat_resource_table; };\n")
    target_link_options(${target} PRIVATE "LINKER:--dynamic-list=${_list}")
  endif()
endfunction()
