// The program's one application object.
#include <cstdio>
#include <cstdlib>

#include "shell/Kyrell.h"
#include "shell/ProgramInfo.h"

namespace {

// "--help" and "--version" are answered before the application object exists,
// so that they take no instance mutex and read no settings. Run from the
// loader's list of initializers ahead of every object's constructor; the C
// library passes these the program's arguments.
__attribute__((constructor(101))) void AnswerInformationRequests(int argc, char** argv, char** /*env*/) {
  if (AnswerInformationRequest(argc, argv, stdout)) std::exit(0);
}

}  // namespace

CKyrellApp theApp;
