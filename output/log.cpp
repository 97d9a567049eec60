// Placeholder until this module is written.
#include "output/log.h"

void LogAppend([[maybe_unused]] const char* entry) { }
void ShowElapsed() { }
void ShowStatus([[maybe_unused]] LONG status) { }
INT_PTR ClearLog() { return {}; }
