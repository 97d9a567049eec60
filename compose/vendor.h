// Vendor requests to the reader driver through SCardControl.
#pragma once

#include "ui/winsys.h"

INT_PTR SelectVendorIo();
INT_PTR ShowVendorMenu();
INT_PTR SelectVendorCommand(int id);
void ExecuteVendorIo();
