// Byte dumps of requests and responses in the log.
#pragma once

#include <cstdint>

#include "state/tester_state.h"

void LogBytes(const char* title, const BYTE* bytes, uint32_t count);
void LogVendorRecord(const char* title, const VendorIoRecord* record, int32_t size);
