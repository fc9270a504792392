# Warnings are errors everywhere in the project's own code. Outside headers
# (wxWidgets, SQLite, GoogleTest) come in as system headers, so what they
# trip stays theirs.
add_compile_options(-Wall -Wextra -Werror)
