// Vendor requests to the reader driver through SCardControl.
#pragma once

#include "ui/winsys.h"

void ExecuteVendorIo();
