# wxWidgets through wx-config, as two imported targets:
#   wx::base  the base and XML libraries (no windows; cheap to load)
#   wx::gui   the GTK core library on top of base (only for modules that are
#             loaded when a display is there)
find_program(WX_CONFIG wx-config REQUIRED)

function(_wx_target name libs)
  execute_process(COMMAND ${WX_CONFIG} --cxxflags ${libs}
                  OUTPUT_VARIABLE _cflags OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${WX_CONFIG} --libs ${libs}
                  OUTPUT_VARIABLE _libs OUTPUT_STRIP_TRAILING_WHITESPACE)
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
