# Warnings are errors everywhere in the project's own code.
add_compile_options(-Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # wxWidgets' headers trip these under g++ 12; they say nothing about our code.
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-deprecated-copy>)
endif()
