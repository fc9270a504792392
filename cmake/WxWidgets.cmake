# wxWidgets through wx-config, as two imported targets:
#   wx::base  the base and XML libraries (no windows; cheap to load)
#   wx::gui   the GTK core library on top of base (only for modules that are
#             loaded when a display is there)
find_program(WX_CONFIG wx-config REQUIRED)

function(_wx_target name libs)
  # A library wx-config does not know (its package missing) stops the
  # configuration here rather than leaving a target without its flags.
  execute_process(COMMAND ${WX_CONFIG} --cxxflags ${libs}
                  OUTPUT_VARIABLE _cflags OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_VARIABLE _error RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0 OR _cflags STREQUAL "")
    message(FATAL_ERROR "wx-config --cxxflags ${libs} failed: ${_error}")
  endif()
  execute_process(COMMAND ${WX_CONFIG} --libs ${libs}
                  OUTPUT_VARIABLE _libs OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_VARIABLE _error RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0 OR _libs STREQUAL "")
    message(FATAL_ERROR "wx-config --libs ${libs} failed: ${_error}")
  endif()
  separate_arguments(_cflags UNIX_COMMAND "${_cflags}")
  separate_arguments(_libs UNIX_COMMAND "${_libs}")
  set(_defs "")
  set(_incs "")
  set(_opts "")
  foreach(f IN LISTS _cflags)
    if(f MATCHES "^-D(.*)")
      list(APPEND _defs ${CMAKE_MATCH_1})
    elseif(f MATCHES "^-I(.*)")
      list(APPEND _incs ${CMAKE_MATCH_1})
    else()
      list(APPEND _opts ${f})
    endif()
  endforeach()
  add_library(${name} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    INTERFACE_COMPILE_DEFINITIONS "${_defs}"
    INTERFACE_INCLUDE_DIRECTORIES "${_incs}"
    INTERFACE_COMPILE_OPTIONS "${_opts}"
    INTERFACE_LINK_LIBRARIES "${_libs}")
  # Treat wx headers as system headers so their warnings do not fail our build.
  set_target_properties(${name} PROPERTIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${_incs}")
endfunction()

_wx_target(wx::base "base,xml")
_wx_target(wx::gui "core,base")
