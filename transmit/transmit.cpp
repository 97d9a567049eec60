// Placeholder until this module is written.
#include "transmit/transmit.h"

INT_PTR TransmitCommand() { return {}; }
void TransmitApdu() { }
INT_PTR ToggleLoop() { return {}; }
INT_PTR UpdateLoopCount() { return {}; }
INT_PTR ToggleBreakOnError() { return {}; }
