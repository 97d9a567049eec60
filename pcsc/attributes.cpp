// Placeholder until this module is written.
#include "pcsc/attributes.h"

void ShowAttribute([[maybe_unused]] const char* label, [[maybe_unused]] DWORD attrId, [[maybe_unused]] int format) { }
INT_PTR ShowAttributes() { return {}; }
