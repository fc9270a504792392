# AddressSanitizer + UndefinedBehaviorSanitizer for the whole build.
if(ORBWEAVE_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
  # The tests and programs load modules with dlopen; shared objects must not
  # insist that every symbol resolves at link time against the runtime.
  add_compile_definitions(ORBWEAVE_SANITIZED=1)
endif()
