// The Help button: which copy of the help page it opens.
#pragma once

#include "ui/winsys.h"

// The help page for a program file at `programPath` into `path`: the page in
// the current folder when there is one, else the copy installed beside the
// program, else the one in the source tree it was built from. False when
// none exists.
bool FindHelpPage(const char* programPath, char* path, int capacity);
