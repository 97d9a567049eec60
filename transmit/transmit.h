// The Transmit button, the exchange with the card and the loop controls.
#pragma once

#include "ui/winsys.h"

void TransmitApdu();
