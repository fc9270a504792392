# How programs and libraries are linked. Start-up pays for every shared
# object, relocation, symbol look-up and page the loader has to touch, so:
#   --as-needed          records only the libraries a binary really calls
#   -O1                  lets the linker build smaller, faster hash tables
#   pack-relative-relocs packs the pointer fix-ups of position-independent
#                        code into a compact table the loader walks quickly
#   --gc-sections        drops the functions, data and virtual tables no
#                        code of the binary reaches; each function and datum
#                        is compiled into a section of its own for that. The
#                        program links the whole base library, and every
#                        virtual table it keeps is a page the loader must
#                        fix up and copy at each start.
#   -z noseparate-code   keeps code and read-only data in one segment: two
#                        segments an object instead of four (Debian's
#                        linker separates them by default), so the loader
#                        maps each of our libraries with two mmap calls
#                        fewer, and the pages where code, read-only data
#                        and headers meet are shared rather than each
#                        partly used. A headless start: 8 system calls and
#                        7 page faults fewer.
# Binding stays lazy: resolving every symbol up front (-z now) measured no
# faster, since a headless start calls only a small part of what it links.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-fdata-sections>)
add_link_options(LINKER:-O1 LINKER:--as-needed LINKER:-z,pack-relative-relocs LINKER:--gc-sections
                 LINKER:-z,noseparate-code)
