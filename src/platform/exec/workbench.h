// The start message of a program started from the desktop.
#pragma once

#include "platform/exec/types.h"

struct WBArg {
    BPTR wa_Lock; // the directory of the object
    char* wa_Name; // its name inside that directory
};

struct WBStartup {
    int32_t sm_NumArgs; // the program itself, then one per object it was started on
    WBArg* sm_ArgList;
    char* sm_ToolWindow;
};
