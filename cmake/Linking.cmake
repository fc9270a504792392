# How programs and libraries are linked. Start-up pays for every shared
# object, relocation and symbol look-up the loader has to do, so:
#   --as-needed          records only the libraries a binary really calls
#   -O1                  lets the linker build smaller, faster hash tables
#   pack-relative-relocs packs the pointer fix-ups of position-independent
#                        code into a compact table the loader walks quickly
# Binding stays lazy: resolving every symbol up front (-z now) measured no
# faster, since a headless start calls only a small part of what it links.
add_link_options(LINKER:-O1 LINKER:--as-needed LINKER:-z,pack-relative-relocs)
