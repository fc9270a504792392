// A module for the loader tests, found as "compat_testmodule.dll" in the program folder.
#include <cstdlib>

extern "C" int TestModuleAnswer() { return 42; }

// Keeps the C library a real dependency whose symbols a lookup on this module
// must not answer.
extern "C" void* TestModuleAllocate(std::size_t size) { return std::malloc(size); }
