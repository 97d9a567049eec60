// Placeholder until this module is written.
#include "compose/vendor.h"

INT_PTR SelectVendorIo() { return {}; }
INT_PTR ShowVendorMenu() { return {}; }
INT_PTR SelectVendorCommand([[maybe_unused]] int id) { return {}; }
void ExecuteVendorIo() { }
