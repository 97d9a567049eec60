// The report of nineteen reader and card attributes.
#pragma once

#include <winscard.h>

#include "ui/winsys.h"

// Formats: 0 "0x %08X ", 1 "%d ", 2 hex bytes, 3 characters.
void ShowAttribute(const char* label, DWORD attrId, int format);
