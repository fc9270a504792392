// The program entry of a framework application: a program links this and
// defines its one global application object.
#include "compat/mfc/WinApp.h"

int main(int argc, char** argv) { return compat::mfc::RunApplication(argc, argv); }
