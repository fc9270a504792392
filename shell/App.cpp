// The program's one application object.
#include "shell/Kyrell.h"

CKyrellApp theApp;
