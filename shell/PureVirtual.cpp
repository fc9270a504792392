// The handler a call through an empty slot of a virtual table reaches, as the
// C++ runtime has it, defined in the program itself. The abstract classes of
// the base library leave some 1,400 such slots in the tables of the classes
// the program keeps. Bound to the runtime's handler, each is a symbol the
// loader looks up and a word it writes at every start, on pages it must copy
// first; bound to this one, the linker fills them in and the tables stay
// read-only pages of the program file.
#include <cstdio>
#include <exception>

extern "C" [[noreturn]] [[gnu::visibility("hidden")]] void __cxa_pure_virtual() {
  std::fputs("pure virtual method called\n", stderr);
  std::terminate();
}
