# AddressSanitizer + UndefinedBehaviorSanitizer for the whole build.
if(ORBWEAVE_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

# ThreadSanitizer, for the code that runs on more than one thread. It cannot
# share a process with AddressSanitizer, so it is a build of its own.
if(ORBWEAVE_TSAN)
  if(ORBWEAVE_SANITIZE)
    message(FATAL_ERROR "ORBWEAVE_TSAN and ORBWEAVE_SANITIZE need separate build trees")
  endif()
  set(_tsan -fsanitize=thread -fno-omit-frame-pointer)
  add_compile_options(${_tsan})
  add_link_options(${_tsan})
endif()
