// Placeholder until this module is written.
#include "output/dump.h"

void LogBytes([[maybe_unused]] const char* title, [[maybe_unused]] const BYTE* bytes, [[maybe_unused]] uint32_t count) { }
void LogVendorRecord([[maybe_unused]] const char* title, [[maybe_unused]] const VendorIoRecord* record, [[maybe_unused]] int32_t size) { }
