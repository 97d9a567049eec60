// The Transmit button, the exchange with the card and the loop controls.
#pragma once

#include "ui/winsys.h"

INT_PTR TransmitCommand();
void TransmitApdu();
INT_PTR ToggleLoop();
INT_PTR UpdateLoopCount();
INT_PTR ToggleBreakOnError();
